#include "Awake/RunningApplications.h"

#include "Platform/DesktopEntries.h"
#include "Platform/ProcessInfo.h"

#include <QCollator>
#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace orlet {
namespace {

std::optional<pid_t> pidOfName(const std::string& name) {
    pid_t pid = 0;
    const char* end = name.data() + name.size();
    const auto [at, error] = std::from_chars(name.data(), end, pid);
    if (error != std::errc() || at != end || pid <= 0) {
        return std::nullopt;
    }
    return pid;
}

} // namespace

RunningApplications::RunningApplications(const ProcessInfo& processes,
                                         const DesktopEntries& entries,
                                         std::filesystem::path procRoot)
    : processes_(processes), entries_(entries), root_(std::move(procRoot)) {}

std::vector<RunningApp> RunningApplications::list(pid_t self) const {
    std::map<std::string, std::set<pid_t>> byApplication;
    std::error_code error;
    for (std::filesystem::directory_iterator it(root_, error), end; !error && it != end;
         it.increment(error)) {
        const auto pid = pidOfName(it->path().filename().string());
        if (!pid) {
            continue;
        }
        // A process that ended during the scan simply has no unit any more.
        if (const auto id = processes_.applicationId(*pid)) {
            byApplication[*id].insert(*pid);
        }
    }

    std::vector<RunningApp> apps;
    for (const auto& [id, pids] : byApplication) {
        if (pids.contains(self)) {
            continue;
        }
        const auto entry = entries_.find(id);
        if (!entry || entry->name.empty()) {
            continue;
        }
        // The first process (lowest number) whose parent is outside the application.
        pid_t top = *pids.begin();
        for (const pid_t pid : pids) {
            const auto parent = processes_.parentPid(pid);
            if (!parent || !pids.contains(*parent)) {
                top = pid;
                break;
            }
        }
        apps.push_back({top, QString::fromStdString(entry->name)});
    }

    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(apps.begin(), apps.end(), [&collator](const RunningApp& a, const RunningApp& b) {
        const int order = collator.compare(a.name, b.name);
        return order != 0 ? order < 0 : a.pid < b.pid;
    });
    return apps;
}

} // namespace orlet
