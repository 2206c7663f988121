#include "Activity/ActivityServer.h"
#include "ActivityTestSupport.h"
#include "TemporaryDirectory.h"

#include <atomic>
#include <charconv>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <sys/resource.h>
#include <thread>
#include <unordered_map>

namespace orlet {
namespace {

using test::processUntil;
using test::TestClient;

constexpr int kGoodClients = 500;
constexpr int kLinesPerClient = 200;
constexpr int kWriterThreads = 10;
// Both misbehaving clients stay below the one-mebibyte limit: they are slow, not over-long.
constexpr std::size_t kMisbehaviourCap = 900 * 1024;

std::string goodLine(int client, int sequence) {
    return R"({"id":"load-)" + std::to_string(client) + R"(","state":"running","step":"Step )" +
           std::to_string(sequence) +
           R"(: editing src/Module.cpp","type":"activity.update","v":1})" + "\n";
}

// The number after `marker` in `line`, or -1.
int numberAfter(std::string_view line, std::string_view marker) {
    const std::size_t at = line.find(marker);
    if (at == std::string_view::npos) {
        return -1;
    }
    int value = -1;
    std::from_chars(line.data() + at + marker.size(), line.data() + line.size(), value);
    return value;
}

// Each server-side stream must carry one client's lines, in order, each once.
struct GoodTraffic {
    struct Stream {
        int client = -1;
        int next = 0;
    };
    std::unordered_map<int, Stream> streams;
    std::vector<int> perClient = std::vector<int>(kGoodClients, 0);
    int total = 0;
    int misplaced = 0;

    void add(int fd, std::string_view line) {
        const int client = numberAfter(line, "\"id\":\"load-");
        const int sequence = numberAfter(line, "\"step\":\"Step ");
        Stream& stream = streams[fd];
        if (stream.client == -1) {
            stream.client = client;
        }
        if (client < 0 || client >= kGoodClients || client != stream.client ||
            sequence != stream.next) {
            ++misplaced;
            return;
        }
        ++stream.next;
        ++perClient[static_cast<std::size_t>(client)];
        ++total;
    }
};

bool enoughDescriptors(rlim_t needed) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return false;
    }
    if (limit.rlim_cur >= needed) {
        return true;
    }
    limit.rlim_cur = std::min(needed, limit.rlim_max);
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= needed;
}

TEST(ActivityServerLoad, SlowAndBrokenClientsDelayNobody) {
    // Both ends of every connection live in this process.
    if (!enoughDescriptors(2 * (kGoodClients + 2) + 128)) {
        GTEST_SKIP() << "too few file descriptors allowed";
    }
    test::TemporaryDirectory directory;
    const std::string path = (directory.path() / "Orlet" / "orlet.sock").string();

    GoodTraffic good;
    std::vector<std::string> otherLines;
    int connected = 0;
    std::vector<int> disconnected;
    ActivityServer server(path,
                          {[&](int, ClientIdentity) { ++connected; },
                           [&](int fd, std::string line) {
                               if (line.starts_with(R"({"id":"load-)")) {
                                   good.add(fd, line);
                               } else {
                                   otherLines.push_back(std::move(line));
                               }
                           },
                           [&](int fd) { disconnected.push_back(fd); }},
                          [](pid_t) {
                              return ClientIdentity{"org.example.Load", "Load", std::nullopt};
                          });
    server.start();

    std::atomic<bool> release = false;
    const auto waitForRelease = [&] { release.wait(false); };

    // One byte per read: each byte goes out only once the server has taken the one before.
    const std::string slowPrefix = R"({"id":"slow","type":"activity.update","step":")";
    std::atomic<std::size_t> slowFiller = 0;
    std::atomic<bool> slowStopped = false;
    std::thread slow([&] {
        TestClient client(path);
        for (const char byte : slowPrefix) {
            client.write(std::string_view(&byte, 1));
            client.waitUntilRead();
        }
        while (!release && slowFiller < kMisbehaviourCap) {
            client.write("a");
            client.waitUntilRead();
            ++slowFiller;
        }
        slowStopped = true;
        waitForRelease();
        client.write("\"}\n");
        client.waitUntilRead();
    });

    std::thread garbage([&] {
        TestClient client(path);
        std::mt19937 random(7);
        std::uniform_int_distribution<int> byte(0, 254);
        std::string chunk(4096, '\0');
        for (std::size_t sent = 0; !release && sent < kMisbehaviourCap; sent += chunk.size()) {
            for (char& c : chunk) {
                const int value = byte(random);
                c = static_cast<char>(value >= '\n' ? value + 1 : value); // never a line feed
            }
            client.write(chunk);
            client.waitUntilRead();
        }
        waitForRelease();
    });

    std::vector<std::thread> writers;
    for (int thread = 0; thread < kWriterThreads; ++thread) {
        writers.emplace_back([&, thread] {
            std::vector<std::unique_ptr<TestClient>> clients;
            const int first = thread * (kGoodClients / kWriterThreads);
            for (int i = 0; i < kGoodClients / kWriterThreads; ++i) {
                clients.push_back(std::make_unique<TestClient>(path));
            }
            for (int sequence = 0; sequence < kLinesPerClient; ++sequence) {
                for (std::size_t i = 0; i < clients.size(); ++i) {
                    clients[i]->write(goodLine(first + static_cast<int>(i), sequence));
                }
            }
            waitForRelease();
        });
    }

    const bool allGood =
        processUntil([&] { return good.total + good.misplaced == kGoodClients * kLinesPerClient; },
                     std::chrono::seconds(60));
    const bool slowWasStillTrickling = !slowStopped;
    const std::size_t garbageSeen = otherLines.size();
    release = true;
    release.notify_all();
    slow.join();
    garbage.join();
    for (std::thread& writer : writers) {
        writer.join();
    }

    EXPECT_TRUE(allGood) << good.total << " good lines arrived";
    EXPECT_TRUE(slowWasStillTrickling) << "the slow client had finished before the others";
    EXPECT_EQ(garbageSeen, 0u) << "a line arrived from a client that sent no line feed";
    EXPECT_EQ(good.misplaced, 0);
    EXPECT_EQ(good.streams.size(), static_cast<std::size_t>(kGoodClients));
    for (int client = 0; client < kGoodClients; ++client) {
        ASSERT_EQ(good.perClient[static_cast<std::size_t>(client)], kLinesPerClient)
            << "client " << client;
    }

    // Everybody has closed: the slow line arrives whole, then every client is let go.
    ASSERT_TRUE(processUntil(
        [&] { return disconnected.size() == static_cast<std::size_t>(kGoodClients + 2); },
        std::chrono::seconds(30)));
    EXPECT_EQ(connected, kGoodClients + 2);
    EXPECT_EQ(otherLines,
              std::vector<std::string>{slowPrefix + std::string(slowFiller, 'a') + "\"}"});
}

} // namespace
} // namespace orlet
