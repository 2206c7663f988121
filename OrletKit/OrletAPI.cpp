#include "OrletKit/OrletAPI.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace orlet::OrletAPI {

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return home;
    }
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/";
}

std::string socketPath() {
    std::string home = homeDirectory();
    if (home.empty() || home.back() != '/') {
        home += '/';
    }
    return home + "Library/Application Support/Orlet/orlet.sock";
}

} // namespace orlet::OrletAPI
