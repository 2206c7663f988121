#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orlet::test {

// A stand-in for the application's socket: records every byte each connection sends and
// answers lines through a callback, on a thread of its own.
class FakeOrlet {
public:
    using Responder = std::function<std::vector<std::string>(const std::string& line)>;

    // Listens at `path` (creating its folder). `backlog` and `accepting` let a test model a
    // busy application that never takes connections.
    explicit FakeOrlet(std::string path, Responder responder = {}, int backlog = 32,
                       bool accepting = true);
    ~FakeOrlet();
    FakeOrlet(const FakeOrlet&) = delete;
    FakeOrlet& operator=(const FakeOrlet&) = delete;

    // Everything received, one string per connection in accept order, once every connection
    // that reached the socket so far has been read to its end.
    std::vector<std::string> settle();
    // Blocks until `count` lines in all have arrived or `seconds` pass; the lines so far.
    std::vector<std::string> waitForLines(std::size_t count, int seconds);

    int listenDescriptor() const { return listenFD_; }

private:
    void serve();

    std::string path_;
    Responder responder_;
    bool accepting_;
    int listenFD_ = -1;
    int wakeFD_[2] = {-1, -1};
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> received_;
    std::size_t open_ = 0;
    bool backlogEmpty_ = true;
    std::size_t rounds_ = 0;
    bool stopping_ = false;
};

} // namespace orlet::test
