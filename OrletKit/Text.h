#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orlet {

// Text rules shared by the hook translation and the shell hook. "Characters" are user-perceived
// characters, so a cut never splits an emoji or an accent from its letter.
class Text {
public:
    // Joins the lines of `text` with single spaces, dropping empty lines, and trims tabs and
    // space separators from both ends. The result is valid UTF-8.
    static std::string oneLine(std::string_view text);

    // More than `limit` characters: the first limit - 1 followed by "…", so exactly `limit`.
    static std::string shortened(std::string_view text, std::size_t limit);

    // The last path component ("c.txt" for "/a/b/c.txt", "b" for "/a/b/"); "/" for the root.
    static std::string lastPathComponent(std::string_view path);

    static constexpr std::string_view ellipsis = "\u2026";
};

} // namespace orlet
