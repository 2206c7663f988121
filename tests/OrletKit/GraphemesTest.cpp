#include "OrletKit/Graphemes.h"

#include "OrletKit/Utf8.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using orlet::Graphemes;
using orlet::Utf8;

constexpr const char* kConformanceFile = "/usr/share/unicode/auxiliary/GraphemeBreakTest.txt";
constexpr std::string_view kBreak = "\xC3\xB7";   // ÷
constexpr std::string_view kNoBreak = "\xC3\x97"; // ×
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

std::string hexBytes(std::string_view text) {
    std::string out;
    for (const char c : text) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        const auto byte = static_cast<unsigned char>(c);
        if (!out.empty()) {
            out += ' ';
        }
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0xF];
    }
    return out;
}

std::vector<std::size_t> boundariesOf(std::string_view text) {
    std::vector<std::size_t> boundaries;
    for (std::size_t offset = 0; offset < text.size();) {
        const std::size_t next = Graphemes::nextBoundary(text, offset);
        if (next <= offset) {
            boundaries.push_back(next); // would loop forever; let the comparison fail
            break;
        }
        boundaries.push_back(next);
        offset = next;
    }
    return boundaries;
}

TEST(GraphemeConformance, EveryBoundaryInTheUnicodeTestFileIsFound) {
    std::ifstream in(kConformanceFile);
    if (!in) {
        GTEST_SKIP() << kConformanceFile << " is missing; install Debian's unicode-data package";
    }

    std::vector<std::size_t> failingLines;
    std::size_t checked = 0;
    std::size_t declared = 0;
    std::string line;
    for (std::size_t lineNumber = 1; std::getline(in, line); ++lineNumber) {
        if (line.rfind("# Lines:", 0) == 0) {
            declared = std::stoul(line.substr(8));
        }
        const std::string body = line.substr(0, line.find('#'));
        std::istringstream tokens(body);
        std::string token;
        std::string text;
        std::vector<std::size_t> expected;
        bool sawToken = false;
        bool parsed = true;
        while (tokens >> token) {
            sawToken = true;
            if (token == kBreak) {
                if (!text.empty()) {
                    expected.push_back(text.size());
                }
            } else if (token == kNoBreak) {
                continue;
            } else if (token.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos) {
                Utf8::append(text, static_cast<char32_t>(std::stoul(token, nullptr, 16)));
            } else {
                parsed = false;
                break;
            }
        }
        if (!sawToken) {
            continue;
        }
        ++checked;
        const std::vector<std::size_t> actual = boundariesOf(text);
        if (!parsed || actual != expected) {
            failingLines.push_back(lineNumber);
            ADD_FAILURE() << "line " << lineNumber << ": " << line;
        }
    }

    // A parser that silently skipped lines would make everything pass.
    EXPECT_GT(checked, 0u);
    EXPECT_EQ(checked, declared) << "the file declares how many test lines it has";
    std::ostringstream lines;
    for (const std::size_t n : failingLines) {
        lines << ' ' << n;
    }
    EXPECT_TRUE(failingLines.empty()) << failingLines.size() << " failing lines:" << lines.str();
}

struct SegmentCase {
    const char* name;
    std::string text;
    std::size_t count;
    std::size_t prefixLength;
    std::string prefix;
};

const SegmentCase kSegmentCases[] = {
    {"EmptyTextHasNoCharacters", "", 0, 3, ""},
    {"AsciiLettersAreOneCharacterEach", "hello", 5, 3, "hel"},
    {"PrefixOfZeroCharactersIsEmpty", "hello", 5, 0, ""},
    {"CombiningAccentStaysWithItsBase", "e\u0301te", 3, 1, "e\u0301"},
    {"CombiningAccentAfterAsciiIsNotSplitOffByTheAsciiShortcut", "ae\u0301", 2, 2, "ae\u0301"},
    {"ControlCharacterKeepsAFollowingAccentApart", "a\x01\u0301", 3, 2, "a\x01"},
    {"EmojiZwjFamilyIsOneCharacter", "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466!",
     2, 1, "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466"},
    {"ZwjSequenceThroughVariationSelectorIsOneCharacter", "\U0001F441\uFE0F\u200D\U0001F5E8\uFE0F",
     1, 1, "\U0001F441\uFE0F\u200D\U0001F5E8\uFE0F"},
    {"ZwjBetweenLetterAndEmojiDoesNotJoinThem", "a\u200D\U0001F600", 2, 1, "a\u200D"},
    {"SkinToneModifierStaysWithItsEmoji", "\U0001F44D\U0001F3FDx", 2, 1, "\U0001F44D\U0001F3FD"},
    {"FlagsArePairsOfRegionalIndicators", "\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7", 2, 1,
     "\U0001F1E9\U0001F1EA"},
    {"OddRegionalIndicatorStandsAlone", "\U0001F1E9\U0001F1EA\U0001F1EB", 2, 2,
     "\U0001F1E9\U0001F1EA\U0001F1EB"},
    {"RegionalIndicatorAfterAFlagStartsANewCharacter", "\U0001F1E9\U0001F1EA\U0001F1EB", 2, 1,
     "\U0001F1E9\U0001F1EA"},
    {"HangulJamoComposeOneSyllable", "\u1100\u1161\u11A8\u1100\u1161", 2, 1, "\u1100\u1161\u11A8"},
    {"PrecomposedHangulSyllableTakesATrailingJamo", "\uAC00\u11A8\uAC01", 2, 1, "\uAC00\u11A8"},
    {"PrependedSignJoinsTheFollowingDigit", "\u06001x", 2, 1, "\u06001"},
    {"SpacingVowelSignJoinsItsConsonant", "\u0915\u093F\u0915", 2, 1, "\u0915\u093F"},
    {"CrLfIsOneCharacter", "a\r\nb", 3, 2, "a\r\n"},
    {"LfCrIsTwoCharacters", "\n\r", 2, 1, "\n"},
    {"LoneContinuationByteIsOneCharacter",
     "a\x80"
     "b",
     3, 2, "a\uFFFD"},
    {"TruncatedThreeByteSequenceIsOneCharacter",
     "a\xE2\x82"
     "b",
     3, 3,
     "a\uFFFD"
     "b"},
    {"OverlongSlashIsTwoCharacters", "\xC0\xAF", 2, 1, "\uFFFD"},
    {"EncodedSurrogateIsThreeCharacters", "\xED\xA0\x80", 3, 2, "\uFFFD\uFFFD"},
    {"AccentAfterInvalidByteJoinsItLikeAReplacementCharacter", "\xFF\u0301x", 2, 1, "\uFFFD\u0301"},
    {"PrefixLongerThanTheTextIsTheWholeRepairedText", "ab\xE2\x82", 3, 10, "ab\uFFFD"},
};

// Names rather than byte dumps in failure messages.
void PrintTo(const SegmentCase& c, std::ostream* os) {
    *os << c.name;
}

class SegmentTest : public testing::TestWithParam<SegmentCase> {};

TEST_P(SegmentTest, CountsAndCutsAsExpected) {
    const SegmentCase& c = GetParam();
    EXPECT_EQ(Graphemes::count(c.text), c.count) << hexBytes(c.text);
    EXPECT_EQ(hexBytes(Graphemes::prefix(c.text, c.prefixLength)), hexBytes(c.prefix));
}

TEST_P(SegmentTest, EveryPrefixIsValidAndEndsOnACharacterBoundary) {
    const SegmentCase& c = GetParam();
    const std::string repaired = Utf8::repaired(c.text);
    ASSERT_EQ(Graphemes::count(repaired), c.count)
        << "ill-formed input must segment like its repaired form";
    for (std::size_t n = 0; n <= c.count + 1; ++n) {
        const std::string prefix = Graphemes::prefix(c.text, n);
        EXPECT_TRUE(Utf8::isValid(prefix)) << "n=" << n << ": " << hexBytes(prefix);
        EXPECT_EQ(Graphemes::count(prefix), std::min(n, c.count)) << "n=" << n;
        EXPECT_EQ(repaired.compare(0, prefix.size(), prefix), 0) << "n=" << n;
        // Cutting mid-character would change how the next character segments.
        const std::string rest = repaired.substr(prefix.size());
        EXPECT_EQ(Graphemes::count(rest), c.count - std::min(n, c.count)) << "n=" << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Graphemes, SegmentTest, testing::ValuesIn(kSegmentCases),
                         [](const testing::TestParamInfo<SegmentCase>& info) {
                             return std::string(info.param.name);
                         });

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::size_t offset;
    char32_t codePoint;
    std::size_t length;
    bool valid;
};

const DecodeCase kDecodeCases[] = {
    {"AsciiIsOneByte", "A", 0, 0x41, 1, true},
    {"TwoByteSequenceDecodes", "\xC3\xA9", 0, 0xE9, 2, true},
    {"ThreeByteSequenceDecodes", "\xE2\x82\xAC", 0, 0x20AC, 3, true},
    {"FourByteSequenceDecodes", "\xF0\x9F\x98\x80", 0, 0x1F600, 4, true},
    {"DecodingStartsAtTheGivenOffset", "a\xE2\x82\xAC", 1, 0x20AC, 3, true},
    {"LastCodePointBeforeSurrogatesIsValid", "\xED\x9F\xBF", 0, 0xD7FF, 3, true},
    {"FirstCodePointAfterSurrogatesIsValid", "\xEE\x80\x80", 0, 0xE000, 3, true},
    {"HighestCodePointIsValid", "\xF4\x8F\xBF\xBF", 0, 0x10FFFF, 4, true},
    {"LoneContinuationByteIsOneIllFormedByte", "\x80", 0, 0xFFFD, 1, false},
    {"OverlongTwoByteLeadIsOneIllFormedByte", "\xC0\xAF", 0, 0xFFFD, 1, false},
    {"OverlongThreeByteFormStopsAtTheLead", "\xE0\x80\xAF", 0, 0xFFFD, 1, false},
    {"OverlongFourByteFormStopsAtTheLead", "\xF0\x8F\xBF\xBF", 0, 0xFFFD, 1, false},
    {"EncodedSurrogateStopsAtTheLead", "\xED\xA0\x80", 0, 0xFFFD, 1, false},
    {"CodePointAboveTheMaximumStopsAtTheLead", "\xF4\x90\x80\x80", 0, 0xFFFD, 1, false},
    {"LeadByteF5IsNeverValid", "\xF5\x80\x80\x80", 0, 0xFFFD, 1, false},
    {"TruncatedThreeByteSequenceAtEndIsOneSubpart", "\xE2\x82", 0, 0xFFFD, 2, false},
    {"ThreeByteSequenceCutByAsciiIsOneSubpart",
     "\xE2\x82"
     "A",
     0, 0xFFFD, 2, false},
    {"TruncatedFourByteSequenceAtEndIsOneSubpart", "\xF0\x9F\x98", 0, 0xFFFD, 3, false},
    {"FourByteSequenceCutAfterTwoBytesIsOneSubpart",
     "\xF0\x9F"
     "A",
     0, 0xFFFD, 2, false},
};

// Names rather than byte dumps in failure messages.
void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.name;
}

class DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, YieldsCodePointLengthAndValidity) {
    const DecodeCase& c = GetParam();
    const Utf8::Decoded decoded = Utf8::decode(c.bytes, c.offset);
    EXPECT_EQ(static_cast<std::uint32_t>(decoded.codePoint),
              static_cast<std::uint32_t>(c.codePoint));
    EXPECT_EQ(decoded.length, c.length);
    EXPECT_EQ(decoded.valid, c.valid);
}

INSTANTIATE_TEST_SUITE_P(Utf8, DecodeTest, testing::ValuesIn(kDecodeCases),
                         [](const testing::TestParamInfo<DecodeCase>& info) {
                             return std::string(info.param.name);
                         });

struct RepairCase {
    const char* name;
    std::string input;
    std::string repaired;
};

// The ill-formed samples are the worked examples for maximal-subpart
// replacement in chapter 3 of the Unicode Standard.
const RepairCase kRepairCases[] = {
    {"EmptyTextStaysEmpty", "", ""},
    {"ValidTextIsUnchanged", "h\u00E9llo \u20AC\U0001F600\r\n", "h\u00E9llo \u20AC\U0001F600\r\n"},
    {"NulBytesAreValid", std::string("a\0b", 3), std::string("a\0b", 3)},
    {"EveryByteOfNonShortestFormsIsReplaced", "\xC0\xAF\xE0\x80\xBF\xF0\x81\x82\x41",
     "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\x41"},
    {"EveryByteOfEncodedSurrogatesIsReplaced", "\xED\xA0\x80\xED\xBF\xBF\xED\xAF\x41",
     "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\x41"},
    {"OutOfRangeAndStrayBytesAreReplacedOneByOne", "\xF4\x91\x92\x93\xFF\x41\x80\xBF\x42",
     "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\x41\uFFFD\uFFFD\x42"},
    {"EachTruncatedSequenceIsReplacedOnce", "\xE1\x80\xE2\xF0\x91\x92\xF1\xBF\x41",
     "\uFFFD\uFFFD\uFFFD\uFFFD\x41"},
    {"TruncatedSequenceAtTheEndIsReplaced", "ok\xF0\x9F\x98", "ok\uFFFD"},
};

// Names rather than byte dumps in failure messages.
void PrintTo(const RepairCase& c, std::ostream* os) {
    *os << c.name;
}

class RepairTest : public testing::TestWithParam<RepairCase> {};

TEST_P(RepairTest, ReplacesEachIllFormedSubpartOnce) {
    const RepairCase& c = GetParam();
    const std::string repaired = Utf8::repaired(c.input);
    EXPECT_EQ(hexBytes(repaired), hexBytes(c.repaired));
    EXPECT_EQ(Utf8::isValid(c.input), c.input == c.repaired);
    EXPECT_TRUE(Utf8::isValid(repaired));
}

INSTANTIATE_TEST_SUITE_P(Utf8, RepairTest, testing::ValuesIn(kRepairCases),
                         [](const testing::TestParamInfo<RepairCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(Utf8, EveryScalarValueSurvivesAppendAndDecode) {
    std::string buffer;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            continue;
        }
        buffer.clear();
        Utf8::append(buffer, cp);
        const std::size_t expectedLength = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        const Utf8::Decoded decoded = Utf8::decode(buffer, 0);
        if (decoded.codePoint != cp || decoded.length != expectedLength ||
            buffer.size() != expectedLength || !decoded.valid) {
            FAIL() << "U+" << std::hex << static_cast<std::uint32_t>(cp) << " -> "
                   << hexBytes(buffer);
        }
    }
}

TEST(Utf8, AppendWritesReplacementForNonScalarValues) {
    for (const char32_t cp : {char32_t{0xD800}, char32_t{0xDFFF}, char32_t{0x110000}}) {
        std::string out;
        Utf8::append(out, cp);
        EXPECT_EQ(out, kReplacement) << std::hex << static_cast<std::uint32_t>(cp);
    }
}

} // namespace
