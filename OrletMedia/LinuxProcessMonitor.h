#pragma once

#include "OrletMedia/ProcessMonitor.h"

#include <filesystem>

namespace orlet {

// Process exits through a pidfd on the event loop; liveness through signal 0.
class LinuxProcessMonitor : public ProcessMonitor {
public:
    explicit LinuxProcessMonitor(std::filesystem::path procRoot = "/proc")
        : procRoot_(std::move(procRoot)) {}

    std::unique_ptr<Watch> watch(pid_t pid, std::function<void()> exited) override;
    bool isGone(pid_t pid) const override;

private:
    std::filesystem::path procRoot_;
};

} // namespace orlet
