#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace orlet::test {

// Checks `condition` every few milliseconds until it holds or `timeout` passes; whether it held.
// For waiting on other processes only.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(15));

// This process's environment with `changes` applied; an empty value removes the variable.
std::map<std::string, std::string>
environmentWith(const std::map<std::string, std::string>& changes);

// A program in a process group of its own, fed through its standard input and read line by line
// from its standard output. Killed with its group, and reaped, when this object goes, so
// nothing outlives a failed assertion.
class PipedProcess {
public:
    PipedProcess(const std::vector<std::string>& argv,
                 const std::map<std::string, std::string>& environment);
    ~PipedProcess();
    PipedProcess(const PipedProcess&) = delete;
    PipedProcess& operator=(const PipedProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Writes `text` followed by a line feed.
    void writeLine(const std::string& text);
    void closeInput();
    void kill(int signal) const;

    std::vector<std::string> lines() const;
    std::string err() const;
    // Polls until at least `count` lines arrived.
    bool waitForLines(std::size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(15)) const;
    // Polls until no line has arrived for `quiet`; the number of lines then.
    std::size_t settle(std::chrono::milliseconds quiet = std::chrono::milliseconds(600)) const;
    // The exit status, or 128 + the signal, once the process ended within `timeout`.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(15));

private:
    void collect(int outFD, int errFD);

    pid_t pid_ = -1;
    int input_ = -1;
    std::optional<int> status_;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::string pending_;
    std::vector<std::string> lines_;
    std::string err_;
    std::chrono::steady_clock::time_point lastLine_ = std::chrono::steady_clock::now();
};

} // namespace orlet::test
