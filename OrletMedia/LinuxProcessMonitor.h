#pragma once

#include "OrletMedia/ProcessMonitor.h"

namespace orlet {

// Process exits through a pidfd on the event loop; liveness through signal 0.
class LinuxProcessMonitor : public ProcessMonitor {
public:
    std::unique_ptr<Watch> watch(pid_t pid, std::function<void()> exited) override;
    bool isGone(pid_t pid) const override;
};

} // namespace orlet
