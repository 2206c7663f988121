#pragma once

#include <string>

namespace orlet {

// The wire contract between the application and local programs.
namespace OrletAPI {

inline constexpr int protocolVersion = 1;

// The socket lives under the home directory at a fixed place; nothing overrides it, so every
// client and the application always agree.
std::string socketPath();

// The user's home directory: $HOME when set, otherwise the password database entry.
std::string homeDirectory();

} // namespace OrletAPI

} // namespace orlet
