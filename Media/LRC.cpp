#include "Media/LRC.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace orlet {
namespace {

// The length of the line break starting at `at`, 0 when there is none: LF, VT, FF, CR,
// NEL, LINE SEPARATOR and PARAGRAPH SEPARATOR.
std::size_t breakLength(std::string_view text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte >= 0x0A && byte <= 0x0D) {
        return 1;
    }
    if (byte == 0xC2 && at + 1 < text.size() && static_cast<unsigned char>(text[at + 1]) == 0x85) {
        return 2;
    }
    if (byte == 0xE2 && at + 2 < text.size() && static_cast<unsigned char>(text[at + 1]) == 0x80) {
        const auto last = static_cast<unsigned char>(text[at + 2]);
        return last == 0xA8 || last == 0xA9 ? 3 : 0;
    }
    return 0;
}

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A whole decimal number, sign and fraction allowed, no blanks. Infinity and NaN are refused:
// a stamp of either would break the ordering of the lines.
std::optional<double> number(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;
        }
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// [mm:ss.xx] as seconds; none for any other tag.
std::optional<double> timeStamp(std::string_view tag) {
    std::string_view pieces[2];
    std::size_t count = 0;
    std::size_t start = 0;
    while (start <= tag.size()) {
        std::size_t end = tag.find(':', start);
        if (end == std::string_view::npos) {
            end = tag.size();
        }
        if (end > start) {
            if (count == 2) {
                return std::nullopt;
            }
            pieces[count++] = tag.substr(start, end - start);
        }
        start = end + 1;
    }
    if (count != 2) {
        return std::nullopt;
    }
    const std::optional<double> minutes = number(pieces[0]);
    const std::optional<double> seconds = number(pieces[1]);
    if (!minutes || !seconds) {
        return std::nullopt;
    }
    const double time = *minutes * 60 + *seconds;
    return std::isfinite(time) ? std::optional(time) : std::nullopt;
}

void parseLine(std::string_view line, std::vector<LyricLine>& lines) {
    std::size_t firstStamp = lines.size();
    while (!line.empty() && line.front() == '[') {
        const std::size_t close = line.find(']');
        if (close == std::string_view::npos) {
            break;
        }
        if (const std::optional<double> time = timeStamp(line.substr(1, close - 1))) {
            lines.push_back(LyricLine{*time, {}});
        }
        line.remove_prefix(close + 1);
    }
    const std::string_view text = trimmed(line);
    for (; firstStamp < lines.size(); ++firstStamp) {
        lines[firstStamp].text = text;
    }
}

} // namespace

std::vector<LyricLine> LRC::parse(std::string_view text) {
    std::vector<LyricLine> lines;
    std::size_t start = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        if (const std::size_t length = breakLength(text, at)) {
            if (at > start) {
                parseLine(text.substr(start, at - start), lines);
            }
            at += length;
            start = at;
        } else {
            ++at;
        }
    }
    if (text.size() > start) {
        parseLine(text.substr(start), lines);
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const LyricLine& a, const LyricLine& b) { return a.time < b.time; });
    return lines;
}

std::optional<std::size_t> LRC::index(double position, const std::vector<LyricLine>& lines) {
    const auto after =
        std::upper_bound(lines.begin(), lines.end(), position,
                         [](double value, const LyricLine& line) { return value < line.time; });
    if (after == lines.begin()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(after - lines.begin() - 1);
}

} // namespace orlet
