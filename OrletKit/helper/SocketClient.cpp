#include "OrletKit/helper/SocketClient.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace orlet {
namespace {

// The application refuses longer socket paths; keep both sides on the same limit.
constexpr std::size_t maxPathBytes = 103;

} // namespace

SocketClient::SocketClient(SocketClient&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), buffer_(std::move(other.buffer_)) {}

SocketClient& SocketClient::operator=(SocketClient&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        buffer_ = std::move(other.buffer_);
    }
    return *this;
}

SocketClient::~SocketClient() {
    if (fd_ < 0) {
        return;
    }
    // Unread replies would make the close a reset on the application's side; take what has
    // arrived so it sees a plain end of stream.
    char sink[4096];
    for (int round = 0; round < 16 && ::recv(fd_, sink, sizeof sink, MSG_DONTWAIT) > 0; ++round) {
    }
    ::close(fd_);
}

std::optional<SocketClient> SocketClient::connect(const std::string& path, const Deadline& deadline,
                                                  std::string& error) {
    if (path.size() > maxPathBytes) {
        error = "socket path is longer than 103 bytes: " + path;
        return std::nullopt;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
        return std::nullopt;
    }
    SocketClient client(fd);
    for (;;) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            return client;
        }
        const int failure = errno;
        if (failure == EINTR) {
            continue;
        }
        if (failure == EINPROGRESS) {
            pollfd ready{fd, POLLOUT, 0};
            if (::poll(&ready, 1, deadline.remainingMilliseconds()) <= 0) {
                error = "Orlet did not accept the connection in time";
                return std::nullopt;
            }
            int status = 0;
            socklen_t length = sizeof status;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &status, &length);
            if (status == 0) {
                return client;
            }
            error = std::string("cannot connect to Orlet: ") + std::strerror(status);
            return std::nullopt;
        }
        if (failure == EAGAIN && !deadline.passed()) {
            // The listen queue is full: the application is busy, try again shortly.
            ::poll(nullptr, 0, std::min(5, deadline.remainingMilliseconds()));
            continue;
        }
        if (failure == ENOENT || failure == ECONNREFUSED) {
            error = "Orlet is not running (no one listens at " + path + ")";
        } else if (failure == EAGAIN) {
            error = "Orlet did not accept the connection in time";
        } else {
            error = std::string("cannot connect to Orlet: ") + std::strerror(failure);
        }
        return std::nullopt;
    }
}

bool SocketClient::send(std::string_view bytes, const Deadline& deadline, std::string& error) {
    while (!bytes.empty()) {
        const ssize_t written = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (written >= 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            error = std::string("cannot send to Orlet: ") + std::strerror(errno);
            return false;
        }
        pollfd ready{fd_, POLLOUT, 0};
        if (deadline.passed() || ::poll(&ready, 1, deadline.remainingMilliseconds()) <= 0) {
            error = "Orlet did not take the message in time";
            return false;
        }
    }
    return true;
}

void SocketClient::finish(const Deadline& deadline) {
    if (::shutdown(fd_, SHUT_WR) != 0) {
        return;
    }
    char sink[4096];
    for (;;) {
        const ssize_t count = ::recv(fd_, sink, sizeof sink, 0);
        if (count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR)) {
            return;
        }
        if (count > 0 || errno == EINTR) {
            continue;
        }
        pollfd ready{fd_, POLLIN, 0};
        if (deadline.passed() || ::poll(&ready, 1, deadline.remainingMilliseconds()) <= 0) {
            return;
        }
    }
}

std::optional<std::string> SocketClient::readLine(const Deadline& deadline) {
    for (;;) {
        if (const std::size_t feed = buffer_.find('\n'); feed != std::string::npos) {
            std::string line = buffer_.substr(0, feed);
            buffer_.erase(0, feed + 1);
            return line;
        }
        char chunk[4096];
        const ssize_t count = ::recv(fd_, chunk, sizeof chunk, 0);
        if (count > 0) {
            buffer_.append(chunk, static_cast<std::size_t>(count));
            continue;
        }
        if (count == 0) {
            return std::nullopt;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            return std::nullopt;
        }
        pollfd ready{fd_, POLLIN, 0};
        if (deadline.passed() || ::poll(&ready, 1, deadline.remainingMilliseconds()) <= 0) {
            return std::nullopt;
        }
    }
}

} // namespace orlet
