#include "Activity/ClientIdentifier.h"

#include "Platform/DesktopEntries.h"
#include "Platform/ProcessInfo.h"

namespace orlet {

ClientIdentifier::ClientIdentifier(const ProcessInfo& processes, const DesktopEntries& entries)
    : processes_(processes), entries_(entries) {}

const ClientIdentifier& ClientIdentifier::shared() {
    static const ClientIdentifier identifier(ProcessInfo::shared(), DesktopEntries::shared());
    return identifier;
}

ClientIdentity ClientIdentifier::identify(pid_t pid) const {
    if (pid < 1) {
        return ClientIdentity::unknown();
    }
    pid_t current = pid;
    for (int examined = 0; examined < maxProcesses; ++examined) {
        // A unit may name an application that is not installed (a script's own scope): only
        // an installed entry gives a name and an icon, so only that counts.
        if (const auto id = processes_.applicationId(current)) {
            if (const auto entry = entries_.find(*id)) {
                return {entry->id, entry->name.empty() ? entry->id : entry->name,
                        entry->path.string()};
            }
        }
        const auto parent = processes_.parentPid(current);
        if (!parent || *parent <= 1) {
            break;
        }
        current = *parent;
    }
    const std::string path = processes_.executablePath(pid);
    return {"path:" + path, path.substr(path.rfind('/') + 1), std::nullopt};
}

} // namespace orlet
