#pragma once

#include <functional>
#include <memory>
#include <sys/types.h>

namespace orlet {

// Liveness of the processes that own players.
class ProcessMonitor {
public:
    // A running watch; destroying it ends the watch.
    class Watch {
    public:
        virtual ~Watch() = default;
    };

    virtual ~ProcessMonitor() = default;

    // Calls `exited` once, on the main thread, when the process ends. None when the process
    // cannot be watched (it is already gone, or the kernel lacks the means).
    virtual std::unique_ptr<Watch> watch(pid_t pid, std::function<void()> exited) = 0;
    // Whether the process no longer exists. A process that exists but belongs to someone else
    // is not gone.
    virtual bool isGone(pid_t pid) const = 0;
};

} // namespace orlet
