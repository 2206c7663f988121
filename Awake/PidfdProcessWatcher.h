#pragma once

#include "Awake/ProcessWatcher.h"

namespace orlet {

// Any process's exit through a pidfd and a socket notifier: no polling, no signals, and no
// confusion with a later process that reuses the number once the watch has begun.
class PidfdProcessWatcher : public ProcessWatcher {
public:
    std::unique_ptr<Watch> watch(pid_t pid, std::function<void()> exited) override;
};

} // namespace orlet
