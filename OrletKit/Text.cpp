#include "OrletKit/Text.h"

#include "OrletKit/Graphemes.h"
#include "OrletKit/Utf8.h"

namespace orlet {
namespace {

bool isLineBreak(char32_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isHorizontalSpace(char32_t c) {
    return c == '\t' || c == ' ' || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

} // namespace

std::string Text::oneLine(std::string_view text) {
    std::string joined;
    joined.reserve(text.size());
    bool pieceOpen = false; // inside a non-empty piece
    std::size_t offset = 0;
    while (offset < text.size()) {
        const Utf8::Decoded decoded = Utf8::decode(text, offset);
        if (isLineBreak(decoded.codePoint)) {
            pieceOpen = false;
        } else {
            if (!pieceOpen && !joined.empty()) {
                joined += ' ';
            }
            pieceOpen = true;
            if (decoded.valid) {
                joined.append(text.substr(offset, decoded.length));
            } else {
                Utf8::append(joined, decoded.codePoint);
            }
        }
        offset += decoded.length;
    }

    std::size_t begin = 0;
    while (begin < joined.size()) {
        const Utf8::Decoded decoded = Utf8::decode(joined, begin);
        if (!isHorizontalSpace(decoded.codePoint)) {
            break;
        }
        begin += decoded.length;
    }
    std::size_t end = begin;
    for (std::size_t offset = begin; offset < joined.size();) {
        const Utf8::Decoded decoded = Utf8::decode(joined, offset);
        offset += decoded.length;
        if (!isHorizontalSpace(decoded.codePoint)) {
            end = offset;
        }
    }
    return joined.substr(begin, end - begin);
}

std::string Text::shortened(std::string_view text, std::size_t limit) {
    std::size_t characters = 0;
    std::size_t cut = 0; // byte offset after limit - 1 characters
    for (std::size_t offset = 0; offset < text.size();
         offset = Graphemes::nextBoundary(text, offset)) {
        if (characters + 1 == limit) {
            cut = offset;
        }
        if (++characters > limit) {
            std::string result = limit == 0 ? std::string() : Utf8::repaired(text.substr(0, cut));
            if (limit > 0) {
                result += ellipsis;
            }
            return result;
        }
    }
    return Utf8::repaired(text);
}

std::string Text::lastPathComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    if (path == "/") {
        return "/";
    }
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

} // namespace orlet
