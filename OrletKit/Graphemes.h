#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orlet {

// Extended grapheme clusters (user-perceived characters) over UTF-8, using the
// Unicode 15.0 default rules. Each ill-formed subpart is segmented as if it
// were U+FFFD, so results match those for Utf8::repaired(text).
class Graphemes {
public:
    static std::size_t count(std::string_view utf8);

    // The first n characters, with ill-formed subparts replaced by U+FFFD.
    static std::string prefix(std::string_view utf8, std::size_t n);

    // Byte offset of the first cluster boundary after `offset`, or utf8.size().
    // `offset` should itself be a boundary (0 or an earlier result): clusters
    // are scanned forward from it without looking back.
    static std::size_t nextBoundary(std::string_view utf8, std::size_t offset);
};

} // namespace orlet
