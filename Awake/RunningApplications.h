#pragma once

#include "Awake/RunningApp.h"

#include <filesystem>
#include <sys/types.h>
#include <vector>

namespace orlet {

class DesktopEntries;
class ProcessInfo;

// The user's desktop applications among the running processes: those whose systemd unit names
// an installed desktop entry with a name. One entry per application, carried by its topmost
// process, so that an application of many processes is listed once and waited for by the one
// whose exit ends it.
class RunningApplications {
public:
    RunningApplications(const ProcessInfo& processes, const DesktopEntries& entries,
                        std::filesystem::path procRoot = "/proc");

    // Sorted by name, case-insensitively in the user's locale; the application that `self`
    // belongs to is left out, with all its processes.
    std::vector<RunningApp> list(pid_t self) const;

private:
    const ProcessInfo& processes_;
    const DesktopEntries& entries_;
    std::filesystem::path root_;
};

} // namespace orlet
