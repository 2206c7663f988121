#include "Platform/DesktopEntries.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace orlet {
namespace {

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Values of string keys may hold \s, \n, \t, \r and \\.
std::string unescaped(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            out += '\\';
            out += value[i];
        }
    }
    return out;
}

// The id comes from other processes' cgroup names: it must not be able to leave the folder.
bool isDesktopId(std::string_view id) {
    return !id.empty() && id.front() != '.' && id.find('/') == std::string_view::npos &&
           id.find('\0') == std::string_view::npos;
}

std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return std::move(text).str();
}

// Calls `visit(key, value)` for each key of the [Desktop Entry] group, in file order.
template <typename Visit> void forEachMainKey(std::string_view text, Visit visit) {
    bool inMainGroup = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (inMainGroup && equals != std::string_view::npos) {
            visit(trimmed(line.substr(0, equals)), trimmed(line.substr(equals + 1)));
        }
    }
}

bool isHidden(std::string_view text) {
    bool hidden = false;
    forEachMainKey(text, [&](std::string_view key, std::string_view value) {
        if (key == "Hidden") {
            hidden = value == "true";
        }
    });
    return hidden;
}

} // namespace

DesktopEntries::DesktopEntries(std::vector<std::filesystem::path> dataDirectories)
    : directories_(std::move(dataDirectories)) {}

DesktopEntries& DesktopEntries::shared() {
    const char* home = std::getenv("HOME");
    static DesktopEntries entries(dataDirectories(
        std::getenv("XDG_DATA_HOME"), std::getenv("XDG_DATA_DIRS"), home != nullptr ? home : ""));
    return entries;
}

std::vector<std::filesystem::path> DesktopEntries::dataDirectories(const char* dataHome,
                                                                   const char* dataDirs,
                                                                   const std::string& home) {
    std::vector<std::filesystem::path> result;
    const auto add = [&](const std::filesystem::path& entry) {
        // "/usr/share/" and "/usr/share" are one folder.
        std::filesystem::path directory = entry.lexically_normal();
        if (directory.has_relative_path() && !directory.has_filename()) {
            directory = directory.parent_path();
        }
        if (directory.is_absolute() &&
            std::find(result.begin(), result.end(), directory) == result.end()) {
            result.push_back(directory);
        }
    };
    // A relative data home is invalid and ignored, so the default applies.
    if (dataHome != nullptr && dataHome[0] == '/') {
        add(dataHome);
    } else if (!home.empty()) {
        add(std::filesystem::path(home) / ".local/share");
    }
    std::string_view list =
        dataDirs != nullptr && dataDirs[0] != '\0' ? dataDirs : "/usr/local/share/:/usr/share/";
    while (!list.empty()) {
        const std::size_t colon = list.find(':');
        if (colon != 0) {
            add(list.substr(0, colon));
        }
        list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
    }
    if (!home.empty()) {
        add(std::filesystem::path(home) / ".local/share/flatpak/exports/share");
    }
    add("/var/lib/flatpak/exports/share");
    return result;
}

std::optional<DesktopEntry> DesktopEntries::find(std::string_view desktopId) const {
    if (!isDesktopId(desktopId)) {
        return std::nullopt;
    }
    // "kde-konsole" may also live at kde/konsole.desktop: each leading '-' may stand for a
    // folder.
    std::vector<std::string> relativePaths{std::string(desktopId) + ".desktop"};
    for (std::size_t dash = desktopId.find('-'); dash != std::string_view::npos;
         dash = desktopId.find('-', dash + 1)) {
        std::string candidate = relativePaths.back();
        candidate[dash] = '/';
        relativePaths.push_back(std::move(candidate));
    }
    for (const auto& directory : directories_) {
        for (const auto& relative : relativePaths) {
            const std::filesystem::path path = directory / "applications" / relative;
            std::error_code error;
            if (!std::filesystem::is_regular_file(path, error)) {
                continue;
            }
            const std::optional<std::string> text = readFile(path);
            if (!text || isHidden(*text)) {
                return std::nullopt;
            }
            DesktopEntry entry = parse(*text);
            entry.id = desktopId;
            entry.path = path;
            return entry;
        }
    }
    return std::nullopt;
}

DesktopEntry DesktopEntries::parse(std::string_view text) {
    DesktopEntry entry;
    bool haveName = false;
    bool haveIcon = false;
    // "Name[de]" is another key: only the unlocalised one counts. The first occurrence wins.
    forEachMainKey(text, [&](std::string_view key, std::string_view value) {
        if (key == "Name" && !haveName) {
            entry.name = unescaped(value);
            haveName = true;
        } else if (key == "Icon" && !haveIcon) {
            entry.icon = unescaped(value);
            haveIcon = true;
        }
    });
    return entry;
}

} // namespace orlet
