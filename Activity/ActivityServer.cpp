#include "Activity/ActivityServer.h"

#include "Activity/ClientIdentifier.h"
#include "Platform/Log.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <pthread.h>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <system_error>
#include <unistd.h>

namespace orlet {
namespace {

std::system_error posixError(int code, const char* what) {
    return std::system_error(code, std::system_category(), what);
}

std::filesystem::filesystem_error directoryError(int code, const char* what,
                                                 const std::filesystem::path& directory) {
    return std::filesystem::filesystem_error(what, directory,
                                             std::error_code(code, std::system_category()));
}

// The socket's folder is the real fence around the socket: only this user may enter it. A
// folder someone else owns could have its socket swapped under us, so it is refused.
void prepareDirectory(const std::filesystem::path& directory) {
    if (directory.empty()) {
        return;
    }
    if (directory.has_parent_path()) {
        std::filesystem::create_directories(directory.parent_path());
    }
    // Created with its final mode, so it is never open to others, not even for a moment.
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        throw directoryError(errno, "cannot create the socket's folder", directory);
    }
    const int folder = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        throw directoryError(errno, "cannot open the socket's folder", directory);
    }
    struct stat status {};
    int error = ::fstat(folder, &status) == 0 ? 0 : errno;
    if (error == 0 && status.st_uid != ::geteuid()) {
        error = EPERM;
    } else if (error == 0 && (status.st_mode & 077) != 0 && ::fchmod(folder, 0700) != 0) {
        error = errno;
    }
    ::close(folder);
    if (error != 0) {
        throw directoryError(error, "the socket's folder must belong to this user alone",
                             directory);
    }
}

} // namespace

ActivityServer::ActivityServer(std::string path, Events events, Identify identify)
    : path_(std::move(path)), events_(std::move(events)),
      identify_(identify ? std::move(identify) : Identify([](pid_t pid) {
          return ClientIdentifier::shared().identify(pid);
      })),
      mainContext_(QCoreApplication::instance()) {
    if (mainContext_ == nullptr) {
        throw std::logic_error("ActivityServer needs a QCoreApplication");
    }
}

ActivityServer::~ActivityServer() {
    stop();
}

void ActivityServer::start() {
    if (thread_.joinable()) {
        return;
    }
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event wakeEvent{};
    wakeEvent.events = EPOLLIN;
    wakeEvent.data.fd = wakeFd_;
    if (epollFd_ < 0 || wakeFd_ < 0 || ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &wakeEvent)) {
        const int error = errno;
        closeLoop();
        throw posixError(error, "cannot create the server's event loop");
    }
    // A fresh flag per start: callbacks queued before an earlier stop stay dead.
    delivery_ = std::make_shared<Delivery>();
    delivery_->events = events_;
    {
        const std::lock_guard lock(mutex_);
        outbox_.clear();
        accepting_ = true;
        stopRequested_ = false;
    }
    // The setup runs on the server thread like every other socket operation; start() waits
    // for its outcome.
    std::promise<void> listening;
    std::future<void> outcome = listening.get_future();
    thread_ = std::thread([this, listening = std::move(listening)]() mutable {
        try {
            listen();
        } catch (...) {
            listening.set_exception(std::current_exception());
            return;
        }
        listening.set_value();
        run();
    });
    ::pthread_setname_np(thread_.native_handle(), "orlet.api");
    try {
        outcome.get();
    } catch (...) {
        thread_.join();
        delivery_->live = false;
        {
            const std::lock_guard lock(mutex_);
            accepting_ = false;
        }
        closeLoop();
        throw;
    }
}

void ActivityServer::stop() {
    if (!thread_.joinable()) {
        return;
    }
    delivery_->live = false;
    {
        const std::lock_guard lock(mutex_);
        accepting_ = false;
        stopRequested_ = true;
        wake();
    }
    thread_.join();
    closeLoop();
}

void ActivityServer::send(const ActivityMessage& message, int fd) {
    std::string bytes = message.line();
    const std::lock_guard lock(mutex_);
    if (!accepting_) {
        return;
    }
    outbox_.push_back({fd, std::move(bytes)});
    wake();
}

// With mutex_ held, so the descriptor cannot be closed under us.
void ActivityServer::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void ActivityServer::closeLoop() {
    const std::lock_guard lock(mutex_);
    for (int* fd : {&epollFd_, &wakeFd_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

template <typename Task> void ActivityServer::post(Task task) {
    QMetaObject::invokeMethod(
        mainContext_,
        [delivery = delivery_, task = std::move(task)]() mutable {
            if (delivery->live) {
                task(*delivery);
            }
        },
        Qt::QueuedConnection);
}

void ActivityServer::listen() {
    prepareDirectory(std::filesystem::path(path_).parent_path());
    ::unlink(path_.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw posixError(errno != 0 ? errno : EIO, "socket");
    }
    const auto fail = [fd](int error, const char* what) {
        ::close(fd);
        return posixError(error, what);
    };
    sockaddr_un address{};
    if (path_.size() > maxPathBytes) {
        throw fail(ENAMETOOLONG, "socket path too long");
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path_.data(), path_.size());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw fail(errno != 0 ? errno : EADDRINUSE, "bind");
    }
    struct stat status {};
    if (::chmod(path_.c_str(), 0600) != 0 || ::stat(path_.c_str(), &status) != 0) {
        const int error = errno;
        ::unlink(path_.c_str());
        throw fail(error, "cannot restrict the socket file");
    }
    if (::listen(fd, backlog) != 0) {
        const int error = errno;
        ::unlink(path_.c_str());
        throw fail(error, "listen");
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event) != 0) {
        const int error = errno;
        ::unlink(path_.c_str());
        throw fail(error, "epoll_ctl");
    }
    listenFd_ = fd;
    socketDevice_ = status.st_dev;
    socketInode_ = status.st_ino;
    spareFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    readBuffer_ = std::make_unique<char[]>(readSize);
}

void ActivityServer::run() {
    std::array<epoll_event, 256> ready{};
    for (;;) {
        const int count = ::epoll_wait(epollFd_, ready.data(), static_cast<int>(ready.size()), -1);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            qCWarning(logApp(), "Activity server stopped: %s", std::strerror(errno));
            break;
        }
        for (int i = 0; i < count; ++i) {
            const int fd = ready[static_cast<std::size_t>(i)].data.fd;
            if (fd == wakeFd_) {
                if (handleWake()) {
                    shutDown();
                    return;
                }
            } else if (fd == listenFd_) {
                acceptPending();
            } else {
                readAvailable(fd);
            }
        }
    }
    shutDown();
}

// Writes what was sent, then reports whether the server is to stop: a stop requested after a
// send leaves the reply written first, as the main thread ordered them.
bool ActivityServer::handleWake() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t drained = ::read(wakeFd_, &count, sizeof count);
    std::vector<Outgoing> outgoing;
    bool stopping = false;
    {
        const std::lock_guard lock(mutex_);
        outgoing.swap(outbox_);
        stopping = stopRequested_;
    }
    for (const Outgoing& message : outgoing) {
        if (clients_.contains(message.fd)) {
            [[maybe_unused]] const ssize_t written =
                ::send(message.fd, message.bytes.data(), message.bytes.size(), MSG_NOSIGNAL);
        }
    }
    return stopping;
}

void ActivityServer::acceptPending() {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            admit(fd);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED) {
            continue;
        }
        // Out of descriptors, a waiting connection keeps the listener readable for ever: take
        // it with the spare descriptor and drop it rather than spin.
        if ((errno == EMFILE || errno == ENFILE) && spareFd_ >= 0) {
            qCWarning(logApp(), "Activity server is out of file descriptors; refusing a client");
            ::close(spareFd_);
            const int refused = ::accept(listenFd_, nullptr, nullptr);
            if (refused >= 0) {
                ::close(refused);
            }
            spareFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (refused >= 0) {
                continue;
            }
        }
        return;
    }
}

void ActivityServer::admit(int fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    const bool credentials =
        ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && size == sizeof peer;
    // The folder and the file mode already keep others out; this check still holds should either
    // be loosened by hand.
    if (credentials && peer.uid != ::geteuid()) {
        qCWarning(logApp(), "Refused an activity client of user %u",
                  static_cast<unsigned>(peer.uid));
        ::close(fd);
        return;
    }
    ClientIdentity identity = ClientIdentity::unknown();
    if (credentials && peer.pid >= 1) {
        try {
            identity = identify_(peer.pid);
        } catch (const std::exception& error) {
            qCWarning(logApp(), "Cannot identify process %d: %s", static_cast<int>(peer.pid),
                      error.what());
        }
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event) != 0) {
        ::close(fd);
        return;
    }
    clients_.insert_or_assign(fd, std::string());
    post([fd, identity = std::move(identity)](Delivery& delivery) mutable {
        if (delivery.events.connected) {
            delivery.events.connected(fd, std::move(identity));
        }
    });
}

void ActivityServer::readAvailable(int fd) {
    const ssize_t count = ::read(fd, readBuffer_.get(), readSize);
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    if (count <= 0) {
        closeClient(fd, true);
        return;
    }
    const auto client = clients_.find(fd);
    if (client == clients_.end()) {
        return;
    }
    std::string& pending = client->second;
    std::string_view chunk(readBuffer_.get(), static_cast<std::size_t>(count));
    std::vector<std::string> lines;
    std::size_t feed = chunk.find('\n');
    if (feed != std::string_view::npos) {
        // The first line finishes what earlier reads left; the others lie wholly in this chunk.
        pending.append(chunk.substr(0, feed));
        if (!pending.empty()) {
            lines.push_back(std::move(pending));
        }
        pending = std::string();
        for (std::size_t begin = feed + 1;; begin = feed + 1) {
            feed = chunk.find('\n', begin);
            if (feed == std::string_view::npos) {
                chunk.remove_prefix(begin);
                break;
            }
            if (feed > begin) {
                lines.emplace_back(chunk.substr(begin, feed - begin));
            }
        }
    }
    pending.append(chunk);
    if (pending.size() > maxBufferedBytes) {
        closeClient(fd, true);
        return;
    }
    if (lines.empty()) {
        return;
    }
    // Every line of one read in one task: the main thread wakes once per read, not per line.
    post([fd, lines = std::move(lines)](Delivery& delivery) mutable {
        for (std::string& line : lines) {
            if (!delivery.live) {
                return; // a callback stopped the server
            }
            if (delivery.events.received) {
                delivery.events.received(fd, std::move(line));
            }
        }
    });
}

void ActivityServer::closeClient(int fd, bool notify) {
    if (clients_.erase(fd) == 0) {
        return;
    }
    ::close(fd);
    if (notify) {
        post([fd](Delivery& delivery) {
            if (delivery.events.disconnected) {
                delivery.events.disconnected(fd);
            }
        });
    }
}

void ActivityServer::shutDown() {
    for (const auto& [fd, pending] : clients_) {
        ::close(fd);
    }
    clients_.clear();
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
    }
    // Only our own socket: a copy started later may have put its socket at the same path.
    struct stat status {};
    if (::stat(path_.c_str(), &status) == 0 && status.st_dev == socketDevice_ &&
        status.st_ino == socketInode_) {
        ::unlink(path_.c_str());
    }
    if (spareFd_ >= 0) {
        ::close(spareFd_);
        spareFd_ = -1;
    }
    readBuffer_.reset();
}

} // namespace orlet
