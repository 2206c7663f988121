// Whatever bytes a local program writes to the socket, the application stays up and answers
// every complete line as the protocol says, in order.
#include "Activity/ActivityCenter.h"
#include "Activity/SocketTransport.h"
#include "Platform/DefaultsStore.h"
#include "Platform/SystemClock.h"

#include <QCoreApplication>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using namespace orlet;

class AllowEveryone : public ApprovalPrompt {
public:
    void ask(const Request&, std::function<void(bool)> answer) override { answer(true); }
};

struct World {
    World() {
        char pattern[] = "/tmp/orlet-fuzz-XXXXXX";
        folder = ::mkdtemp(pattern);
        static int argc = 1;
        static char name[] = "ActivityFuzzer";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QCoreApplication>(argc, argv);
        defaults =
            std::make_unique<DefaultsStore>(QString::fromStdString(folder + "/defaults.json"));
        center = std::make_unique<ActivityCenter>(ActivityCenter::Environment{
            clock,
            *defaults,
            prompt,
            [](const TransientActivity&) {},
            [](const std::string& path, ActivityTransport::Events events) {
                return std::make_unique<SocketTransport>(path, std::move(events));
            },
            folder + "/orlet.sock",
            {}});
        center->start();
        if (!center->isListening()) {
            std::abort();
        }
    }

    std::string folder;
    std::unique_ptr<QCoreApplication> application;
    SystemClock clock;
    AllowEveryone prompt;
    std::unique_ptr<DefaultsStore> defaults;
    std::unique_ptr<ActivityCenter> center;
};

World& world() {
    static World instance;
    return instance;
}

// The replies the protocol promises for one line, given the application already allows us.
void expectedReplies(std::string_view line, std::vector<std::string>& replies) {
    const std::optional<ActivityMessage> message = ActivityMessage::decode(line);
    const auto error = [&](const std::string& text) {
        ActivityMessage reply("error");
        reply.message = text;
        replies.push_back(reply.line());
    };
    if (!message) {
        error("invalid JSON message");
        return;
    }
    const std::string& type = message->type;
    if (type == "hello") {
        replies.push_back(ActivityMessage("welcome").line());
    } else if (type == "ping") {
        replies.push_back(ActivityMessage("pong").line());
    } else if (type == "activity.start") {
        if (!message->id) {
            error("activity.start needs an id");
        }
    } else if (type == "notify") {
        if (!message->message || message->message->empty()) {
            error("notify needs a message");
        }
    } else if (type != "activity.update" && type != "activity.end") {
        error("unknown message type " + type);
    }
}

int connectTo(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::abort();
    }
    return fd;
}

} // namespace

// Sends `stream` on a fresh connection and returns everything the application answered once
// the reply to the closing ping has arrived.
std::string exchange(const std::string& stream, std::size_t expectedBytes) {
    World& w = world();
    const int fd = connectTo(w.folder + "/orlet.sock");
    std::size_t written = 0;
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (got.size() < expectedBytes) {
        if (std::chrono::steady_clock::now() > deadline) {
            std::abort(); // the application stopped answering
        }
        if (written < stream.size()) {
            const ssize_t n = ::send(fd, stream.data() + written, stream.size() - written,
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                written += static_cast<std::size_t>(n);
            }
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 1) > 0) {
            char buffer[65536];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n == 0) {
                break;
            }
            if (n > 0) {
                got.append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    ::close(fd);
    return got;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool approved = [] {
        // The first client is asked about once; after that it is simply allowed.
        exchange("{\"type\":\"ping\"}\n", ActivityMessage("pong").line().size());
        return true;
    }();
    (void)approved;

    // A closing ping: its pong proves every earlier line was handled, and nothing else came.
    const std::string stream =
        std::string(reinterpret_cast<const char*>(data), size) + "\n{\"type\":\"ping\"}\n";
    std::string wanted;
    std::vector<std::string> expected;
    for (std::size_t start = 0, feed; (feed = stream.find('\n', start)) != std::string::npos;
         start = feed + 1) {
        if (feed > start) {
            expectedReplies(std::string_view(stream).substr(start, feed - start), expected);
        }
    }
    for (const std::string& reply : expected) {
        wanted += reply;
    }
    if (exchange(stream, wanted.size()) != wanted) {
        std::abort();
    }
    return 0;
}
