#pragma once

#include <optional>
#include <string>

namespace orlet {

// Who is at the other end of a client connection: the desktop application behind it, or the
// bare executable when no application could be found.
struct ClientIdentity {
    std::string id;                        ///< desktop id, or "path:" + executable path
    std::string name;                      ///< display name
    std::optional<std::string> bundlePath; ///< the application's .desktop file, for its icon

    bool operator==(const ClientIdentity&) const = default;

    // For a peer whose process cannot be named.
    static ClientIdentity unknown();
};

} // namespace orlet
