#include "FakeOrlet.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace orlet::test {

FakeOrlet::FakeOrlet(std::string path, Responder responder, int backlog, bool accepting)
    : path_(std::move(path)), responder_(std::move(responder)), accepting_(accepting) {
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
    ::unlink(path_.c_str());
    listenFD_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path_.size() >= sizeof address.sun_path) {
        throw std::runtime_error("socket path too long: " + path_);
    }
    std::memcpy(address.sun_path, path_.c_str(), path_.size());
    if (::bind(listenFD_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFD_, backlog) != 0 || ::pipe2(wakeFD_, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("cannot listen: ") + std::strerror(errno));
    }
    thread_ = std::thread([this] { serve(); });
}

FakeOrlet::~FakeOrlet() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    const char byte = 0;
    [[maybe_unused]] const ssize_t ignored = ::write(wakeFD_[1], &byte, 1);
    thread_.join();
    ::close(listenFD_);
    ::close(wakeFD_[0]);
    ::close(wakeFD_[1]);
    ::unlink(path_.c_str());
}

void FakeOrlet::serve() {
    struct Client {
        std::size_t index;
        std::string pending;
    };
    std::map<int, Client> clients;
    for (;;) {
        std::vector<pollfd> fds{{wakeFD_[0], POLLIN, 0}, {listenFD_, POLLIN, 0}};
        for (const auto& entry : clients) {
            fds.push_back({entry.first, POLLIN, 0});
        }
        ::poll(fds.data(), fds.size(), 10);
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                break;
            }
        }
        if (accepting_ && (fds[1].revents & POLLIN)) {
            for (int fd; (fd = ::accept4(listenFD_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
                std::lock_guard lock(mutex_);
                clients[fd] = Client{received_.size(), ""};
                received_.emplace_back();
                ++open_;
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            const int fd = fds[i].fd;
            char buffer[65536];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) {
                ::close(fd);
                clients.erase(fd);
                std::lock_guard lock(mutex_);
                --open_;
                continue;
            }
            Client& client = clients[fd];
            std::vector<std::string> lines;
            {
                std::lock_guard lock(mutex_);
                received_[client.index].append(buffer, static_cast<std::size_t>(n));
            }
            client.pending.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t feed; (feed = client.pending.find('\n')) != std::string::npos;) {
                lines.push_back(client.pending.substr(0, feed));
                client.pending.erase(0, feed + 1);
            }
            for (const std::string& line : lines) {
                if (!responder_) {
                    break;
                }
                for (const std::string& reply : responder_(line)) {
                    ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
                }
            }
        }
        pollfd backlog{listenFD_, POLLIN, 0};
        const bool empty = ::poll(&backlog, 1, 0) == 0;
        {
            std::lock_guard lock(mutex_);
            backlogEmpty_ = empty;
            ++rounds_;
        }
        changed_.notify_all();
    }
    for (const auto& entry : clients) {
        ::close(entry.first);
    }
}

std::vector<std::string> FakeOrlet::settle() {
    std::unique_lock lock(mutex_);
    // Two whole rounds after the call, so a connection queued just before it is seen.
    const std::size_t start = rounds_;
    changed_.wait_for(lock, std::chrono::seconds(30), [&] {
        return rounds_ >= start + 2 && open_ == 0 && (backlogEmpty_ || !accepting_);
    });
    return received_;
}

std::vector<std::string> FakeOrlet::waitForLines(std::size_t count, int seconds) {
    std::unique_lock lock(mutex_);
    const auto lines = [this] {
        std::vector<std::string> all;
        for (const std::string& bytes : received_) {
            std::size_t start = 0;
            for (std::size_t feed; (feed = bytes.find('\n', start)) != std::string::npos;) {
                all.push_back(bytes.substr(start, feed - start));
                start = feed + 1;
            }
        }
        return all;
    };
    changed_.wait_for(lock, std::chrono::seconds(seconds), [&] { return lines().size() >= count; });
    return lines();
}

} // namespace orlet::test
