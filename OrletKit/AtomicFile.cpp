#include "OrletKit/AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace orlet {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(int error, const std::string& what, const fs::path& path) {
    throw std::system_error(error, std::generic_category(), what + " " + path.string());
}

mode_t newFileMode() {
    // umask(2) would change the mask for every thread for a moment; the kernel reports it here.
    mode_t mask = 022;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            mask = static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
            break;
        }
    }
    return 0666 & ~mask;
}

fs::path resolved(const fs::path& path) {
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(path, error))) {
        const fs::path target = fs::weakly_canonical(path, error);
        if (!error) {
            return target;
        }
    }
    return path;
}

bool writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

std::optional<std::string> AtomicFile::read(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) {
        return std::nullopt;
    }
    return std::move(content).str();
}

void AtomicFile::write(const fs::path& requested, std::string_view content) {
    const fs::path path = resolved(requested);
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");

    struct stat existing {};
    const mode_t mode =
        ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : newFileMode();

    // Built by appending: GCC 12 warns falsely about "." + std::string at -O3.
    std::string name = ".";
    name += path.filename().string();
    name += ".orlet-XXXXXX";
    std::string pattern = (folder / name).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        fail(errno, "cannot create a temporary file beside", path);
    }
    const fs::path temporary = pattern;
    const auto abandon = [&](int error, const char* what) {
        ::close(fd);
        ::unlink(temporary.c_str());
        fail(error, what, path);
    };
    if (!writeAll(fd, content)) {
        abandon(errno, "cannot write");
    }
    if (::fchmod(fd, mode) != 0) {
        abandon(errno, "cannot set the permissions of");
    }
    if (::fsync(fd) != 0) {
        abandon(errno, "cannot flush");
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail(error, "cannot write", path);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail(error, "cannot replace", path);
    }
    // Make the rename itself survive a crash.
    if (const int directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
}

} // namespace orlet
