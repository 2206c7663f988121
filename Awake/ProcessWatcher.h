#pragma once

#include <functional>
#include <memory>
#include <sys/types.h>

namespace orlet {

// Tells when a process ends, whoever its parent is.
class ProcessWatcher {
public:
    // Watches until destroyed.
    class Watch {
    public:
        virtual ~Watch() = default;
    };

    virtual ~ProcessWatcher() = default;

    // `exited` runs once on the main thread when the process ends, also soon after the call when
    // it has already ended, unless the watch was destroyed first. None when the system cannot
    // watch processes at all.
    virtual std::unique_ptr<Watch> watch(pid_t pid, std::function<void()> exited) = 0;
};

} // namespace orlet
