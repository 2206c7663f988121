#pragma once

#include "OrletKit/helper/Deadline.h"

#include <optional>
#include <string>
#include <string_view>

namespace orlet {

// One connection to the application's socket. Every operation is bounded by a deadline.
class SocketClient {
public:
    SocketClient(SocketClient&& other) noexcept;
    SocketClient& operator=(SocketClient&& other) noexcept;
    SocketClient(const SocketClient&) = delete;
    SocketClient& operator=(const SocketClient&) = delete;
    ~SocketClient();

    // Connects to the socket at `path`; on failure `error` says why in a few words.
    static std::optional<SocketClient> connect(const std::string& path, const Deadline& deadline,
                                               std::string& error);

    // Writes all bytes; false (with `error`) on failure or when the deadline passes.
    bool send(std::string_view bytes, const Deadline& deadline, std::string& error);

    // The next line without its line feed; absent at end of stream, on error or at the deadline.
    std::optional<std::string> readLine(const Deadline& deadline);

    // Ends the stream and waits (until the deadline) for the application to close its side.
    // The application names a client from its live process: a hook that exits the moment it
    // has written would often be gone before it is looked at.
    void finish(const Deadline& deadline);

    int descriptor() const { return fd_; }

private:
    explicit SocketClient(int fd) : fd_(fd) {}

    int fd_ = -1;
    std::string buffer_;
};

} // namespace orlet
