#pragma once

#include "Activity/ActivityServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <linux/sockios.h>
#include <map>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orlet::test {

// Runs the main thread's event loop until `done` holds or the time is up; the server answers
// through queued calls, so tests wait for them here.
template <typename Predicate>
bool processUntil(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const QDeadlineTimer deadline(limit);
    QTimer tick; // wakes the loop for conditions that change off it (other threads, children)
    tick.start(5);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Counts the tasks the main thread runs for queued calls.
class MainThreadTasks : public QObject {
public:
    MainThreadTasks() { QCoreApplication::instance()->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MetaCall) {
            ++count;
        }
        return false;
    }
};

// Everything the server reported, as it arrived.
struct Recorder {
    struct Line {
        int fd;
        std::string text;
        int task; ///< the main-thread task that delivered it
    };

    std::vector<std::pair<int, ClientIdentity>> connected;
    std::vector<Line> lines;
    std::vector<int> disconnected;
    std::vector<std::string> order; ///< "connected", "received", "disconnected"
    int offMainThread = 0;
    const MainThreadTasks* tasks = nullptr;

    ActivityServer::Events events() {
        const auto note = [this](const char* what) {
            order.emplace_back(what);
            if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
                ++offMainThread;
            }
        };
        return {[this, note](int fd, ClientIdentity identity) {
                    note("connected");
                    connected.emplace_back(fd, std::move(identity));
                },
                [this, note](int fd, std::string line) {
                    note("received");
                    lines.push_back({fd, std::move(line), tasks != nullptr ? tasks->count : 0});
                },
                [this, note](int fd) {
                    note("disconnected");
                    disconnected.push_back(fd);
                }};
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& line : lines) {
            out.push_back(line.text);
        }
        return out;
    }
};

// A blocking client socket, as the command-line helper uses.
class TestClient {
public:
    explicit TestClient(const std::string& path)
        : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            error_ = errno;
            close();
        }
    }
    ~TestClient() { close(); }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool isConnected() const { return fd_ >= 0; }
    int connectError() const { return error_; }
    int fd() const { return fd_; }

    // Everything, unless the server has closed the connection.
    bool write(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t written = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
        return true;
    }

    // Until the server has read every byte written so far, so the next write reaches it in a
    // read of its own.
    bool waitUntilRead(std::chrono::milliseconds limit = std::chrono::seconds(5)) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            int unread = 0;
            if (::ioctl(fd_, SIOCOUTQ, &unread) != 0 || unread == 0) {
                return true;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    }

    // One line with its feed; none at end of stream or when nothing comes in time.
    std::optional<std::string> readLine(std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (const std::size_t feed = input_.find('\n'); feed != std::string::npos) {
                std::string line = input_.substr(0, feed + 1);
                input_.erase(0, feed + 1);
                return line;
            }
            if (!readSome(deadline)) {
                return std::nullopt;
            }
        }
    }

    // True when the server closed the connection in time.
    bool waitForEndOfStream(std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (readSome(deadline)) {
        }
        return endOfStream_;
    }

    void close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    bool readSome(std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) != 1) {
            return false;
        }
        char buffer[4096];
        const ssize_t count = ::read(fd_, buffer, sizeof buffer);
        if (count <= 0) {
            endOfStream_ = count == 0 || errno == ECONNRESET;
            return false;
        }
        input_.append(buffer, static_cast<std::size_t>(count));
        return true;
    }

    int fd_;
    int error_ = 0;
    std::string input_;
    bool endOfStream_ = false;
};

} // namespace orlet::test
