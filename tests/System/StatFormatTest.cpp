#include "System/StatFormat.h"

#include "System/StatColor.h"
#include "TestNames.h"

#include <functional>
#include <gtest/gtest.h>

namespace orlet {
namespace {

struct FormatCase {
    const char* sentence;
    std::function<QString()> format;
    const char* expected;
};

const FormatCase formatCases[] = {
    {"percent of 0.42", [] { return StatFormat::percent(0.42); }, "42%"},
    {"percent of 1.5 is not clamped", [] { return StatFormat::percent(1.5); }, "150%"},
    {"percent rounds half away from zero", [] { return StatFormat::percent(0.125); }, "13%"},
    {"percent of a tiny negative is 0 not minus 0", [] { return StatFormat::percent(-0.001); },
     "0%"},
    {"decimal below 100 has one place", [] { return StatFormat::decimal(15.25); }, "15.2"},
    {"decimal of 99.94", [] { return StatFormat::decimal(99.94); }, "99.9"},
    {"decimal from 100 on is whole", [] { return StatFormat::decimal(100.5); }, "101"},
    {"storage of 1.5 trillion bytes", [] { return StatFormat::storage(1'500'000'000'000); },
     "1.5 TB"},
    {"storage of 250 billion bytes", [] { return StatFormat::storage(250'000'000'000); }, "250 GB"},
    {"storage of 999.4 GB stays in gigabytes", [] { return StatFormat::storage(999'400'000'000); },
     "999 GB"},
    {"storage of exactly 1000 GB is terabytes",
     [] { return StatFormat::storage(1'000'000'000'000); }, "1.0 TB"},
    {"storage of 120 TB", [] { return StatFormat::storage(120'000'000'000'000); }, "120 TB"},
    {"storage of nothing", [] { return StatFormat::storage(0); }, "0 GB"},
    {"rate of 2.5 MB/s", [] { return StatFormat::rate(2'500'000); }, "2.5 MB/s"},
    {"rate of 500 bytes rounds up to 1 KB/s", [] { return StatFormat::rate(500); }, "1 KB/s"},
    {"rate of 499 bytes is 0 KB/s", [] { return StatFormat::rate(499); }, "0 KB/s"},
    {"rate just below a megabyte", [] { return StatFormat::rate(999'400); }, "999 KB/s"},
    {"rate of 1.25 GB/s", [] { return StatFormat::rate(1'250'000'000); }, "1.2 GB/s"},
    {"rate of 150 MB/s is whole", [] { return StatFormat::rate(150'400'000); }, "150 MB/s"},
    {"duration of 59 minutes", [] { return StatFormat::duration(59); }, "59m"},
    {"duration of 60 minutes", [] { return StatFormat::duration(60); }, "1h 0m"},
    {"duration of 125 minutes", [] { return StatFormat::duration(125); }, "2h 5m"},
};

class StatFormatTest : public testing::TestWithParam<FormatCase> {};

TEST_P(StatFormatTest, Text) {
    EXPECT_EQ(GetParam().format().toStdString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, StatFormatTest, testing::ValuesIn(formatCases),
                         test::SentenceName());

TEST(StatColorTest, Palette) {
    const auto rgb = [](const QColor& color) {
        return std::array{color.redF(), color.greenF(), color.blueF(), color.alphaF()};
    };
    const std::pair<QColor, std::array<float, 4>> palette[] = {
        {StatColor::cpu(), {0.48f, 0.65f, 1.0f, 1.0f}},
        {StatColor::gpu(), {0.75f, 0.55f, 1.0f, 1.0f}},
        {StatColor::memory(), {0.29f, 0.87f, 0.5f, 1.0f}},
        {StatColor::storage(), {0.98f, 0.75f, 0.14f, 1.0f}},
        {StatColor::warn(), {0.98f, 0.75f, 0.14f, 1.0f}},
        {StatColor::bad(), {0.97f, 0.44f, 0.44f, 1.0f}},
    };
    for (const auto& [color, expected] : palette) {
        const auto actual = rgb(color);
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_NEAR(actual[i], expected[i], 1e-3);
        }
    }
}

} // namespace
} // namespace orlet
