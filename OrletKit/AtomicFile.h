#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orlet {

// Whole-file reads and crash-safe replacements of user files.
class AtomicFile {
public:
    // The file's bytes, or nothing when it cannot be read.
    static std::optional<std::string> read(const std::filesystem::path& path);

    // Replaces the file's content through a temporary file in the same folder and a rename, so
    // a reader sees the old or the new content, never a mix. A symbolic link is followed, so a
    // dotfile managed by a link farm stays a link; an existing file keeps its permission bits.
    // Throws std::system_error naming the path.
    static void write(const std::filesystem::path& path, std::string_view content);
};

} // namespace orlet
