#pragma once

#include "Activity/ClientIdentity.h"

#include <sys/types.h>

namespace orlet {

class DesktopEntries;
class ProcessInfo;

// Names the application behind a client process: the nearest process in its ancestry that
// belongs to an installed desktop application, so a helper started by an agent in a terminal
// is the terminal, and one started by an editor is the editor. Processes that belong to no
// application are named by the client's executable.
class ClientIdentifier {
public:
    // The client and up to 15 ancestors.
    static constexpr int maxProcesses = 16;

    ClientIdentifier(const ProcessInfo& processes, const DesktopEntries& entries);

    // /proc and the desktop entries of this session.
    static const ClientIdentifier& shared();

    // Unknown for a pid below 1 (the peer's pid could not be read). Const and thread-safe.
    ClientIdentity identify(pid_t pid) const;

private:
    const ProcessInfo& processes_;
    const DesktopEntries& entries_;
};

} // namespace orlet
