#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orlet {

// Strict UTF-8 handling. Ill-formed input is replaced one maximal subpart at a
// time, so every producer of U+FFFD in the kit agrees on how many there are.
class Utf8 {
public:
    struct Decoded {
        char32_t codePoint;
        std::size_t length;
        bool valid;
    };

    static constexpr char32_t kReplacement = 0xFFFD;

    // Decodes the sequence starting at `offset` (which must be < text.size()).
    // Ill-formed input yields {U+FFFD, length of the maximal subpart, false}.
    static Decoded decode(std::string_view text, std::size_t offset);

    // Surrogates and values above U+10FFFF are written as U+FFFD.
    static void append(std::string& out, char32_t codePoint);

    static std::string repaired(std::string_view text);
    static bool isValid(std::string_view text);
};

} // namespace orlet
