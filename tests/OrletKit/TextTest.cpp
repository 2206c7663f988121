#include "OrletKit/Text.h"

#include "OrletKit/Utf8.h"
#include "TestNames.h"

#include <gtest/gtest.h>

namespace orlet {
namespace {

struct OneLineCase {
    const char* sentence;
    const char* text;
    const char* expected;
};

class TextOneLine : public testing::TestWithParam<OneLineCase> {};

TEST_P(TextOneLine, JoinsLinesWithSingleSpaces) {
    EXPECT_EQ(Text::oneLine(GetParam().text), GetParam().expected) << GetParam().sentence;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextOneLine,
    testing::Values(OneLineCase{"plain text stays", "make all", "make all"},
                    OneLineCase{"empty lines are dropped", "a\n\n\nb", "a b"},
                    OneLineCase{"CRLF is one break", "a\r\nb", "a b"},
                    OneLineCase{"every newline character breaks", "a\vb\fc\rd\u0085e\u2028f\u2029g",
                                "a b c d e f g"},
                    OneLineCase{"spaces inside pieces stay", "a \n b", "a   b"},
                    OneLineCase{"tabs and space separators are trimmed at the ends",
                                "\t\u00a0\u3000 x y \u2003\t", "x y"},
                    OneLineCase{"only whitespace gives nothing", " \n\t\n ", ""},
                    OneLineCase{"invalid bytes are repaired", "a\xc3", "a\uFFFD"}),
    test::SentenceName());

struct ShortenCase {
    const char* sentence;
    const char* text;
    std::size_t limit;
    const char* expected;
};

class TextShortened : public testing::TestWithParam<ShortenCase> {};

TEST_P(TextShortened, KeepsAtMostTheLimitInCharacters) {
    const std::string result = Text::shortened(GetParam().text, GetParam().limit);
    EXPECT_EQ(result, GetParam().expected) << GetParam().sentence;
    EXPECT_TRUE(Utf8::isValid(result));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextShortened,
    testing::Values(
        ShortenCase{"text at the limit stays whole", "abcde", 5, "abcde"},
        ShortenCase{"one more character is cut with an ellipsis", "abcdef", 5, "abcd\u2026"},
        ShortenCase{"accents stay on their letters", "e\u0301e\u0301e\u0301", 2, "e\u0301\u2026"},
        ShortenCase{"flags are not split", "\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7x", 2,
                    "\U0001F1E9\U0001F1EA\u2026"},
        ShortenCase{"a limit of one leaves the ellipsis", "ab", 1, "\u2026"},
        ShortenCase{"invalid bytes count as characters and are repaired", "\xff\xfe\xfd", 2,
                    "\uFFFD\u2026"}),
    test::SentenceName());

TEST(TextLastPathComponent, TakesTheFinalNameOfAPath) {
    EXPECT_EQ(Text::lastPathComponent("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(Text::lastPathComponent("/a/b/"), "b");
    EXPECT_EQ(Text::lastPathComponent("name"), "name");
    EXPECT_EQ(Text::lastPathComponent("/"), "/");
    EXPECT_EQ(Text::lastPathComponent(""), "");
}

} // namespace
} // namespace orlet
