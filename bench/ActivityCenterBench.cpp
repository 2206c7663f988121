// Lines per second through the socket server and the activity center together: clients of an
// allowed application stream realistic activity updates, each closed by a ping whose pong
// proves every line before it was applied.
#include "Activity/ActivityCenter.h"
#include "Activity/SocketTransport.h"
#include "Platform/DefaultsStore.h"
#include "Platform/SystemClock.h"
#include "TemporaryDirectory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace orlet;

class Allow : public ApprovalPrompt {
public:
    void ask(const Request&, std::function<void(bool)> answer) override { answer(true); }
};

int connectTo(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    return fd;
}

// Writes everything, then reads until `pongs` pong lines came back.
void client(const std::string& path, const std::string& stream, int pongs) {
    const int fd = connectTo(path);
    std::size_t written = 0;
    while (written < stream.size()) {
        const ssize_t n =
            ::send(fd, stream.data() + written, stream.size() - written, MSG_NOSIGNAL);
        if (n <= 0) {
            std::exit(1);
        }
        written += static_cast<std::size_t>(n);
    }
    std::string got;
    int seen = 0;
    char buffer[65536];
    while (seen < pongs) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            std::exit(1);
        }
        got.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t at; (at = got.find("pong")) != std::string::npos; got.erase(0, at + 4)) {
            ++seen;
        }
    }
    ::close(fd);
}

} // namespace

int main(int argc, char** argv) {
    QLoggingCategory::setFilterRules(QStringLiteral("com.brambleowl.orlet.*.debug=false"));
    QCoreApplication application(argc, argv);
    const test::TemporaryDirectory folder;
    SystemClock clock;
    Allow prompt;
    DefaultsStore defaults(QString::fromStdString((folder.path() / "defaults.json").string()));
    const std::string path = (folder.path() / "orlet.sock").string();
    ActivityCenter center({clock,
                           defaults,
                           prompt,
                           [](const TransientActivity&) {},
                           [](const std::string& socket, ActivityTransport::Events events) {
                               return std::make_unique<SocketTransport>(socket, std::move(events));
                           },
                           path,
                           {}});
    center.start();

    constexpr int clients = 8;
    constexpr int linesPerClient = 25'000;
    std::vector<std::string> streams(clients);
    for (int c = 0; c < clients; ++c) {
        const std::string id = "agent-" + std::to_string(c);
        std::string& stream = streams[c];
        stream +=
            R"({"type":"activity.start","kind":"agent","title":"Claude","subtitle":"orlet","id":")" +
            id + "\"}\n";
        for (int i = 0; i < linesPerClient; ++i) {
            stream += R"({"id":")" + id + R"(","state":"running","step":"Editing file )" +
                      std::to_string(i) + R"(.cpp","ttl":1800,"type":"activity.update","v":1})" +
                      "\n";
        }
        stream += "{\"type\":\"ping\"}\n";
    }

    // The first message asks once; get that out of the way.
    std::thread warmUp(client, path, std::string("{\"type\":\"ping\"}\n"), 1);
    while (center.knownApps().empty()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    while (warmUp.joinable()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        warmUp.join();
    }

    QElapsedTimer timer;
    timer.start();
    std::vector<std::thread> threads;
    std::atomic<int> done{0};
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            client(path, streams[c], 1);
            ++done;
        });
    }
    while (done.load() < clients) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    for (std::thread& thread : threads) {
        thread.join();
    }
    const double lines = static_cast<double>(clients) * (linesPerClient + 2);
    std::printf("server + center: %d clients x %d activity updates: %.0f lines/s (%.2f s)\n",
                clients, linesPerClient, lines / seconds, seconds);
    center.stop();
    return 0;
}
