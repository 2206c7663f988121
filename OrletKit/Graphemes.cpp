#include "OrletKit/Graphemes.h"

#include "OrletKit/Utf8.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace orlet {

namespace {

enum class GraphemeProperty : std::uint8_t {
    Other,
    CR,
    LF,
    Control,
    Extend,
    ZWJ,
    RegionalIndicator,
    Prepend,
    SpacingMark,
    L,
    V,
    T,
    LV,
    LVT,
    ExtendedPictographic,
};

struct GraphemeRange {
    char32_t first;
    char32_t last;
    GraphemeProperty property;
};

#include "OrletKit/GraphemeTable.inc"

constexpr bool isSortedAndDisjoint() {
    for (std::size_t i = 0; i < std::size(kGraphemeTable); ++i) {
        if (kGraphemeTable[i].first > kGraphemeTable[i].last) {
            return false;
        }
        if (i > 0 && kGraphemeTable[i - 1].last >= kGraphemeTable[i].first) {
            return false;
        }
    }
    return true;
}

// The lookup below is a binary search; a hand-edited table would fail silently.
static_assert(isSortedAndDisjoint(), "GraphemeTable.inc must be sorted; regenerate it");

using P = GraphemeProperty;

P propertyOf(char32_t codePoint) {
    const auto* begin = std::begin(kGraphemeTable);
    const auto* it =
        std::upper_bound(begin, std::end(kGraphemeTable), codePoint,
                         [](char32_t cp, const GraphemeRange& range) { return cp < range.first; });
    if (it == begin) {
        return P::Other;
    }
    --it;
    return codePoint <= it->last ? it->property : P::Other;
}

struct Scanned {
    P property;
    std::size_t length;
};

Scanned scan(std::string_view text, std::size_t offset) {
    const Utf8::Decoded decoded = Utf8::decode(text, offset);
    // U+FFFD is Other, so an ill-formed subpart needs no lookup.
    return {decoded.valid ? propertyOf(decoded.codePoint) : P::Other, decoded.length};
}

bool isControlLike(P p) {
    return p == P::Control || p == P::CR || p == P::LF;
}

// What the rules need to remember about the cluster scanned so far.
struct ClusterState {
    // The cluster so far ends in Extended_Pictographic Extend*.
    bool afterPictographic = false;
    // ...and then a ZWJ, so a following pictograph joins.
    bool pictographicZwj = false;
    // Regional indicators in a row at the end; pairs make flags.
    std::size_t regionalIndicators = 0;

    void push(P p) {
        pictographicZwj = p == P::ZWJ && afterPictographic;
        if (p == P::ExtendedPictographic) {
            afterPictographic = true;
        } else if (p != P::Extend) {
            afterPictographic = false;
        }
        regionalIndicators = p == P::RegionalIndicator ? regionalIndicators + 1 : 0;
    }
};

bool joins(P before, P after, const ClusterState& state) {
    if (before == P::CR && after == P::LF) {
        return true;
    }
    if (isControlLike(before) || isControlLike(after)) {
        return false;
    }
    switch (before) {
    case P::L:
        if (after == P::L || after == P::V || after == P::LV || after == P::LVT) {
            return true;
        }
        break;
    case P::LV:
    case P::V:
        if (after == P::V || after == P::T) {
            return true;
        }
        break;
    case P::LVT:
    case P::T:
        if (after == P::T) {
            return true;
        }
        break;
    default:
        break;
    }
    if (after == P::Extend || after == P::ZWJ || after == P::SpacingMark) {
        return true;
    }
    if (before == P::Prepend) {
        return true;
    }
    if (before == P::ZWJ && after == P::ExtendedPictographic && state.pictographicZwj) {
        return true;
    }
    if (before == P::RegionalIndicator && after == P::RegionalIndicator) {
        return state.regionalIndicators % 2 == 1;
    }
    return false;
}

bool isAscii(char c) {
    return static_cast<unsigned char>(c) < 0x80;
}

} // namespace

std::size_t Graphemes::nextBoundary(std::string_view utf8, std::size_t offset) {
    const std::size_t size = utf8.size();
    if (offset >= size) {
        return size;
    }
    // Between two ASCII characters only CR LF holds together, and nothing
    // before a cluster start can matter to an ASCII pair.
    if (offset + 1 < size && isAscii(utf8[offset]) && isAscii(utf8[offset + 1]) &&
        !(utf8[offset] == '\r' && utf8[offset + 1] == '\n')) {
        return offset + 1;
    }

    Scanned previous = scan(utf8, offset);
    ClusterState state;
    state.push(previous.property);
    std::size_t position = offset + previous.length;
    while (position < size) {
        const Scanned current = scan(utf8, position);
        if (!joins(previous.property, current.property, state)) {
            return position;
        }
        state.push(current.property);
        previous = current;
        position += current.length;
    }
    return size;
}

std::size_t Graphemes::count(std::string_view utf8) {
    std::size_t clusters = 0;
    for (std::size_t offset = 0; offset < utf8.size(); offset = nextBoundary(utf8, offset)) {
        ++clusters;
    }
    return clusters;
}

std::string Graphemes::prefix(std::string_view utf8, std::size_t n) {
    std::size_t end = 0;
    for (std::size_t i = 0; i < n && end < utf8.size(); ++i) {
        end = nextBoundary(utf8, end);
    }
    return Utf8::repaired(utf8.substr(0, end));
}

} // namespace orlet
