#pragma once

#include "Activity/ClientIdentity.h"
#include "OrletKit/ActivityMessage.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <unordered_map>
#include <vector>

class QObject;

namespace orlet {

// Serves the activity socket: accepts local clients of this user, names the application
// behind each, cuts each client's byte stream into lines and hands them to the main thread,
// and writes replies. Knows nothing of what the lines mean.
//
// All socket work happens on one thread of the server's own; the callbacks run on the main
// thread (the thread of the QCoreApplication), in the order their causes happened, so a
// client's `connected` always comes before its lines.
class ActivityServer {
public:
    struct Events {
        std::function<void(int fd, ClientIdentity)> connected;  ///< accepted and identified
        std::function<void(int fd, std::string line)> received; ///< one non-empty line, no LF
        /// closed by the server: end of stream, a read error or an over-long line
        std::function<void(int fd)> disconnected;
    };

    // Names the process behind a peer pid (always ≥ 1). Runs on the server thread.
    using Identify = std::function<ClientIdentity(pid_t)>;

    static constexpr std::size_t maxPathBytes = 103;
    static constexpr int backlog = 32;
    static constexpr std::size_t readSize = 65536;
    // Unterminated input beyond this closes the client.
    static constexpr std::size_t maxBufferedBytes = 1048576;

    // Touches nothing yet. Without `identify`, peers are named from /proc and the installed
    // desktop entries. Needs the QCoreApplication to exist.
    ActivityServer(std::string path, Events events, Identify identify = {});
    ~ActivityServer();
    ActivityServer(const ActivityServer&) = delete;
    ActivityServer& operator=(const ActivityServer&) = delete;

    const std::string& path() const { return path_; }

    // Listens; returns once listening or throws: std::filesystem::filesystem_error for the
    // socket's folder, std::system_error with the errno otherwise (ENAMETOOLONG for a path
    // over 103 bytes). Main thread.
    void start();

    // Closes every client (without `disconnected`) and the listener, removes the socket file
    // and ends the thread; callbacks still queued for the main thread are dropped. Main thread.
    void stop();

    // Encodes here; the server thread writes the line with one write call if `fd` is still an
    // open client. A short or failed write is ignored: a client that went away is noticed on
    // its next read. Any thread.
    void send(const ActivityMessage& message, int fd);

private:
    // What queued callbacks need: it outlives the server, and `live` turns them into no-ops.
    struct Delivery {
        Events events;
        std::atomic<bool> live{true};
    };

    struct Outgoing {
        int fd;
        std::string bytes;
    };

    // Server thread.
    void run();
    void listen();
    void acceptPending();
    void admit(int fd);
    void readAvailable(int fd);
    void closeClient(int fd, bool notify);
    bool handleWake();
    void shutDown();
    template <typename Task> void post(Task task);

    void wake();
    void closeLoop();

    const std::string path_;
    const Events events_;
    const Identify identify_;
    QObject* const mainContext_;
    std::shared_ptr<Delivery> delivery_;
    std::thread thread_;
    int epollFd_ = -1;
    int wakeFd_ = -1;

    std::mutex mutex_; // guards the three below and writes to wakeFd_
    std::vector<Outgoing> outbox_;
    bool accepting_ = false;
    bool stopRequested_ = false;

    // Server thread only.
    int listenFd_ = -1;
    int spareFd_ = -1;
    dev_t socketDevice_ = 0;
    ino_t socketInode_ = 0;
    std::unordered_map<int, std::string> clients_; // descriptor → unterminated input
    std::unique_ptr<char[]> readBuffer_;
};

} // namespace orlet
