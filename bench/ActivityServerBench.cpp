// Lines per second from clients through the activity server to the main thread's `received`
// callback, and the time from a client's write to that callback at a steady 1,000 lines/s.
#include "Activity/ActivityServer.h"
#include "TemporaryDirectory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using orlet::ActivityServer;
using orlet::ClientIdentity;
using Clock = std::chrono::steady_clock;

// What a busy agent session sends.
const std::vector<std::string> kLines = {
    R"({"id":"claude-4f1c2a9e-77a","kind":"agent","state":"running","step":"Make the failing integration tests pass and explain why they failed","subtitle":"orlet","title":"Claude","ttl":1800,"type":"activity.start","v":1})",
    R"({"id":"claude-4f1c2a9e-77a","state":"running","step":"$ cmake --build build -j2 && ctest --test-dir build --output-on-fai…","ttl":1800,"type":"activity.update","v":1})",
    R"({"id":"claude-4f1c2a9e-77a","state":"running","step":"Editing ActivityMessage.cpp","ttl":1800,"type":"activity.update","v":1})",
    R"({"id":"claude-4f1c2a9e-77a","state":"running","step":"Reading /home/me/src/orlet/OrletKit/Connector.cpp","ttl":1800,"type":"activity.update","v":1})",
    R"({"id":"claude-4f1c2a9e-77a","state":"waiting","step":"Claude needs your permission to use Bash","ttl":1800,"type":"activity.update","v":1})",
    R"({"id":"build-17","progress":0.42,"state":"running","title":"Building","actions":[{"id":"stop","title":"Stop"},{"id":"log","title":"Show log"}],"type":"activity.update","v":1})",
    R"({"message":"make test finished · 3m 20s","severity":"success","type":"notify","v":1})",
    R"({"type":"ping","v":1})",
};

int connectTo(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    return fd;
}

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written <= 0) {
            std::perror("write");
            std::exit(1);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

// `clients` threads each send `linesPerClient` lines, `linesPerWrite` to a write call.
double linesPerSecond(const std::string& path, int clients, int linesPerClient, int linesPerWrite) {
    const long total = static_cast<long>(clients) * linesPerClient;
    long received = 0;
    QEventLoop loop;
    ActivityServer server(path,
                          {{},
                           [&](int, std::string) {
                               if (++received == total) {
                                   loop.quit();
                               }
                           },
                           {}},
                          [](pid_t) {
                              return ClientIdentity{"bench", "Bench", std::nullopt};
                          });
    server.start();
    std::vector<int> sockets;
    for (int i = 0; i < clients; ++i) {
        sockets.push_back(connectTo(path));
    }
    QElapsedTimer timer;
    timer.start();
    std::vector<std::thread> writers;
    for (const int fd : sockets) {
        writers.emplace_back([fd, linesPerClient, linesPerWrite] {
            std::string batch;
            for (int line = 0; line < linesPerClient; ++line) {
                batch += kLines[static_cast<std::size_t>(line) % kLines.size()];
                batch += '\n';
                if ((line + 1) % linesPerWrite == 0 || line + 1 == linesPerClient) {
                    writeAll(fd, batch);
                    batch.clear();
                }
            }
        });
    }
    loop.exec();
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    for (std::thread& writer : writers) {
        writer.join();
    }
    for (const int fd : sockets) {
        ::close(fd);
    }
    return static_cast<double>(total) / seconds;
}

struct Latency {
    double median;
    double p99;
    double max;
};

// One client writes a line every millisecond; each line carries its write time.
Latency steadyLatency(const std::string& path, std::chrono::seconds duration) {
    const long total = static_cast<long>(duration.count()) * 1000;
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(total));
    QEventLoop loop;
    ActivityServer server(path,
                          {{},
                           [&](int, std::string line) {
                               const auto now = Clock::now().time_since_epoch().count();
                               const std::size_t at = line.find("\"step\":\"") + 8;
                               long long sent = 0;
                               std::from_chars(line.data() + at, line.data() + line.size(), sent);
                               samples.push_back(static_cast<double>(now - sent) / 1e6);
                               if (static_cast<long>(samples.size()) == total) {
                                   loop.quit();
                               }
                           },
                           {}},
                          [](pid_t) {
                              return ClientIdentity{"bench", "Bench", std::nullopt};
                          });
    server.start();
    const int fd = connectTo(path);
    std::thread writer([fd, total] {
        const auto start = Clock::now();
        for (long i = 0; i < total; ++i) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(i));
            const std::string line = R"({"id":"claude-4f1c2a9e-77a","state":"running","step":")" +
                                     std::to_string(Clock::now().time_since_epoch().count()) +
                                     R"(","ttl":1800,"type":"activity.update","v":1})" + "\n";
            writeAll(fd, line);
        }
    });
    loop.exec();
    writer.join();
    ::close(fd);
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double fraction) {
        return samples[static_cast<std::size_t>(fraction *
                                                static_cast<double>(samples.size() - 1))];
    };
    return {at(0.5), at(0.99), samples.back()};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    orlet::test::TemporaryDirectory directory;
    const std::string path = (directory.path() / "Orlet" / "orlet.sock").string();

    struct Load {
        const char* what;
        int clients;
        int linesPerClient;
        int linesPerWrite;
    };
    const Load loads[] = {
        {"1 client, one line per write", 1, 200000, 1},
        {"8 clients, one line per write", 8, 50000, 1},
        {"8 clients, 200 lines per write", 8, 50000, 200},
    };
    std::printf("Throughput to the main-thread callback (target >= 100,000 lines/s):\n");
    for (const Load& load : loads) {
        const double rate =
            linesPerSecond(path, load.clients, load.linesPerClient, load.linesPerWrite);
        std::printf("  %-32s %12.0f lines/s  %s\n", load.what, rate,
                    rate >= 100000 ? "ok" : "BELOW TARGET");
    }

    const Latency latency = steadyLatency(path, std::chrono::seconds(5));
    std::printf("Write-to-callback latency at 1,000 lines/s for 5 s (target p99 < 2 ms):\n"
                "  median %.3f ms  p99 %.3f ms  max %.3f ms  %s\n",
                latency.median, latency.p99, latency.max,
                latency.p99 < 2.0 ? "ok" : "ABOVE TARGET");
    return 0;
}
