#include "Platform/ProcessInfo.h"

#include <QString>
#include <charconv>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace orlet {
namespace {

// /proc files report a size of 0, so they are read to the end; none of these is large.
std::optional<std::string> readSmallFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    return std::move(text).str();
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(at + 1);
    }
}

std::string joined(const std::vector<std::string_view>& parts, std::size_t begin, std::size_t end) {
    std::string out;
    for (std::size_t i = begin; i < end; ++i) {
        if (i > begin) {
            out += '-';
        }
        out += parts[i];
    }
    return out;
}

} // namespace

ProcessInfo::ProcessInfo(std::filesystem::path procRoot) : root_(std::move(procRoot)) {}

const ProcessInfo& ProcessInfo::shared() {
    static const ProcessInfo info;
    return info;
}

std::optional<pid_t> ProcessInfo::parentPid(pid_t pid) const {
    const std::optional<std::string> stat = readSmallFile(root_ / std::to_string(pid) / "stat");
    return stat ? parentPidOfStat(*stat) : std::nullopt;
}

std::string ProcessInfo::executablePath(pid_t pid) const {
    constexpr std::size_t limit = 4096;
    char buffer[limit];
    const std::string link = (root_ / std::to_string(pid) / "exe").string();
    const ssize_t length = ::readlink(link.c_str(), buffer, limit);
    if (length <= 0) {
        return "unknown";
    }
    std::string_view path(buffer, static_cast<std::size_t>(length));
    path = path.substr(0, path.find('\0'));
    constexpr std::string_view deleted = " (deleted)";
    if (path.size() > deleted.size() && path.ends_with(deleted)) {
        path.remove_suffix(deleted.size());
    }
    return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())).toStdString();
}

std::optional<std::string> ProcessInfo::applicationId(pid_t pid) const {
    const std::optional<std::string> file = readSmallFile(root_ / std::to_string(pid) / "cgroup");
    if (!file) {
        return std::nullopt;
    }
    const std::optional<std::string> path = cgroupPathOfFile(*file);
    return path ? applicationIdOfCgroupPath(*path) : std::nullopt;
}

std::optional<pid_t> ProcessInfo::parentPidOfStat(std::string_view stat) {
    const std::size_t close = stat.rfind(')');
    if (close == std::string_view::npos || stat.find('(') > close) {
        return std::nullopt;
    }
    // After the name: " <state> <ppid> ...".
    std::string_view rest = stat.substr(close + 1);
    const std::vector<std::string_view> fields = [&] {
        std::vector<std::string_view> out;
        while (!rest.empty() && out.size() < 2) {
            const std::size_t begin = rest.find_first_not_of(' ');
            if (begin == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(begin);
            const std::size_t end = rest.find(' ');
            out.push_back(rest.substr(0, end));
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
        }
        return out;
    }();
    if (fields.size() < 2) {
        return std::nullopt;
    }
    pid_t parent = 0;
    const std::string_view field = fields[1];
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), parent);
    if (error != std::errc() || end != field.data() + field.size() || parent < 0) {
        return std::nullopt;
    }
    return parent;
}

std::optional<std::string> ProcessInfo::cgroupPathOfFile(std::string_view cgroupFile) {
    std::optional<std::string> systemd;
    for (std::string_view line : split(cgroupFile, '\n')) {
        // "<id>:<controllers>:<path>"; the path may itself hold ':'.
        const std::size_t first = line.find(':');
        const std::size_t second =
            first == std::string_view::npos ? first : line.find(':', first + 1);
        if (second == std::string_view::npos) {
            continue;
        }
        const std::string_view controllers = line.substr(first + 1, second - first - 1);
        const std::string_view path = line.substr(second + 1);
        if (line.substr(0, first) == "0" && controllers.empty()) {
            // A unified path of "/" means no cgroup information (a container, hybrid mode).
            if (path != "/") {
                return std::string(path);
            }
        } else if (controllers == "name=systemd") {
            systemd = std::string(path);
        }
    }
    return systemd;
}

std::optional<std::string> ProcessInfo::applicationIdOfUnit(std::string_view unit) {
    if (!unit.starts_with("app-")) {
        return std::nullopt;
    }
    unit.remove_prefix(4);
    std::string id;
    if (unit.ends_with(".scope")) {
        // The last part is the random or pid suffix; a part before the id is the launcher.
        unit.remove_suffix(6);
        const std::vector<std::string_view> parts = split(unit, '-');
        if (parts.size() < 2) {
            return std::nullopt;
        }
        id = joined(parts, parts.size() == 2 ? 0 : 1, parts.size() - 1);
    } else if (unit.ends_with(".service")) {
        // The random instance after '@' is optional for services.
        unit.remove_suffix(8);
        const std::vector<std::string_view> parts = split(unit.substr(0, unit.find('@')), '-');
        id = joined(parts, parts.size() == 1 ? 0 : 1, parts.size());
    } else if (unit.ends_with(".slice")) {
        // A slice holds no launcher and no random part; a nested slice (app-foo-bar.slice
        // inside app-foo.slice) names its innermost level.
        unit.remove_suffix(6);
        id = split(unit, '-').back();
    } else {
        return std::nullopt;
    }
    id = unescapedUnitName(id);
    if (id.empty()) {
        return std::nullopt;
    }
    return id;
}

std::optional<std::string> ProcessInfo::applicationIdOfCgroupPath(std::string_view path) {
    std::vector<std::string_view> components = split(path, '/');
    for (auto it = components.rbegin(); it != components.rend(); ++it) {
        if (auto id = applicationIdOfUnit(*it)) {
            return id;
        }
    }
    return std::nullopt;
}

std::string ProcessInfo::unescapedUnitName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            const int high = hexValue(name[i + 2]);
            const int low = hexValue(name[i + 3]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 3;
                continue;
            }
        }
        out += name[i];
    }
    return out;
}

} // namespace orlet
