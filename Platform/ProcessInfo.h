#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace orlet {

// What /proc tells about a process. The root is a parameter so tests can use a fake tree.
// Nothing is cached: const reads are safe from any thread.
class ProcessInfo {
public:
    explicit ProcessInfo(std::filesystem::path procRoot = "/proc");

    static const ProcessInfo& shared();

    // Field 4 of <pid>/stat; none when the file cannot be read or parsed.
    std::optional<pid_t> parentPid(pid_t pid) const;

    // The target of <pid>/exe, at most 4096 bytes, invalid UTF-8 repaired; "unknown" when it
    // cannot be read. The kernel's " (deleted)" mark of a replaced binary is dropped, so the
    // name stays the same across an upgrade.
    std::string executablePath(pid_t pid) const;

    // The desktop id named by the process's systemd unit, from <pid>/cgroup.
    std::optional<std::string> applicationId(pid_t pid) const;

    // The parent pid in the text of a stat file. The command name is in parentheses and may
    // itself hold spaces and parentheses, so the fields start after the last ')'.
    static std::optional<pid_t> parentPidOfStat(std::string_view stat);

    // The cgroup path of the unified hierarchy ("0::") or else of the name=systemd one.
    static std::optional<std::string> cgroupPathOfFile(std::string_view cgroupFile);

    // The desktop id that systemd's naming scheme for applications puts into a unit name:
    //   app-<launcher>-<id>-<random>.scope, app-<id>-<random>.scope,
    //   app-<launcher>-<id>[@<random>].service, app-<id>[@<random>].service, app-<id>.slice
    // with '-' inside the id escaped as \x2d. Flatpak's scopes are app-flatpak-<id>-<pid>.scope.
    static std::optional<std::string> applicationIdOfUnit(std::string_view unit);

    // The innermost unit of a cgroup path that names an application. Terminals put each shell
    // in a scope of its own inside the application's slice, so the slice counts as well.
    static std::optional<std::string> applicationIdOfCgroupPath(std::string_view path);

    // systemd's unit-name unescaping: \xNN becomes the byte NN.
    static std::string unescapedUnitName(std::string_view name);

private:
    std::filesystem::path root_;
};

} // namespace orlet
