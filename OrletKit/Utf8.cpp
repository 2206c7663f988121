#include "OrletKit/Utf8.h"

namespace orlet {

namespace {

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

} // namespace

Utf8::Decoded Utf8::decode(std::string_view text, std::size_t offset) {
    const auto lead = static_cast<unsigned char>(text[offset]);
    if (lead < 0x80) {
        return {lead, 1, true};
    }

    std::size_t needed = 0;
    char32_t codePoint = 0;
    // The second byte's range is narrower than 80..BF for some leads; checking
    // it up front is what rejects overlongs, surrogates and values past U+10FFFF
    // while keeping the ill-formed subpart as short as the lead allows.
    unsigned char secondMin = 0x80;
    unsigned char secondMax = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        needed = 1;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        needed = 2;
        codePoint = lead & 0x0F;
        if (lead == 0xE0) {
            secondMin = 0xA0;
        } else if (lead == 0xED) {
            secondMax = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        needed = 3;
        codePoint = lead & 0x07;
        if (lead == 0xF0) {
            secondMin = 0x90;
        } else if (lead == 0xF4) {
            secondMax = 0x8F;
        }
    } else {
        return {kReplacement, 1, false};
    }

    std::size_t length = 1;
    for (std::size_t i = 0; i < needed; ++i) {
        const std::size_t at = offset + length;
        if (at >= text.size()) {
            return {kReplacement, length, false};
        }
        const auto byte = static_cast<unsigned char>(text[at]);
        const bool inRange = i == 0 ? byte >= secondMin && byte <= secondMax : isContinuation(byte);
        if (!inRange) {
            return {kReplacement, length, false};
        }
        codePoint = (codePoint << 6) | (byte & 0x3F);
        ++length;
    }
    return {codePoint, length, true};
}

void Utf8::append(std::string& out, char32_t codePoint) {
    if ((codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF) {
        codePoint = kReplacement;
    }
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

std::string Utf8::repaired(std::string_view text) {
    if (isValid(text)) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    std::size_t offset = 0;
    while (offset < text.size()) {
        const Decoded decoded = decode(text, offset);
        if (decoded.valid) {
            out.append(text.substr(offset, decoded.length));
        } else {
            append(out, kReplacement);
        }
        offset += decoded.length;
    }
    return out;
}

bool Utf8::isValid(std::string_view text) {
    std::size_t offset = 0;
    while (offset < text.size()) {
        if (static_cast<unsigned char>(text[offset]) < 0x80) {
            ++offset;
            continue;
        }
        const Decoded decoded = decode(text, offset);
        if (!decoded.valid) {
            return false;
        }
        offset += decoded.length;
    }
    return true;
}

} // namespace orlet
