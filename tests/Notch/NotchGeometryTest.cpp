#include "Notch/NotchGeometry.h"

#include "TestNames.h"

#include <gtest/gtest.h>

namespace orlet {
namespace {

struct MeasureCase {
    const char* sentence;
    NotchGeometry::Display display;
    Size notchSize;
    bool hardware;
};

class NotchGeometryMeasure : public testing::TestWithParam<MeasureCase> {};

TEST_P(NotchGeometryMeasure, FindsTheHousingOrTheSubstitute) {
    const MeasureCase& c = GetParam();
    const NotchGeometry geometry = NotchGeometry::measure(c.display);
    EXPECT_EQ(geometry.notchSize, c.notchSize) << c.sentence;
    EXPECT_EQ(geometry.hasHardwareNotch, c.hardware) << c.sentence;
    EXPECT_EQ(geometry.screenFrame, c.display.frame);
}

const Rect laptop{0, 0, 1512, 982};

INSTANTIATE_TEST_SUITE_P(
    Cases, NotchGeometryMeasure,
    testing::Values(
        MeasureCase{"a camera housing between the two top areas",
                    {laptop, {0, 0, 1512, 945}, 37, Rect{0, 945, 656, 37}, Rect{856, 945, 656, 37}},
                    {200, 37},
                    true},
        MeasureCase{"a top panel 24 high",
                    {{0, 0, 1920, 1080}, {0, 0, 1920, 1056}, 0, {}, {}},
                    {190, 24},
                    false},
        MeasureCase{"a taller top panel sets the height",
                    {{0, 0, 2560, 1440}, {0, 48, 2560, 1360}, 0, {}, {}},
                    {190, 32},
                    false},
        MeasureCase{"no top panel falls back to 24",
                    {{0, 0, 1920, 1080}, {0, 40, 1920, 1040}, 0, {}, {}},
                    {190, 24},
                    false},
        MeasureCase{"top areas without an inset are no housing",
                    {laptop, {0, 0, 1512, 958}, 0, Rect{0, 945, 656, 37}, Rect{856, 945, 656, 37}},
                    {190, 24},
                    false},
        MeasureCase{"top areas that fill the width are no housing",
                    {laptop, {0, 0, 1512, 958}, 37, Rect{0, 945, 756, 37}, Rect{756, 945, 756, 37}},
                    {190, 24},
                    false}),
    test::SentenceName());

TEST(NotchGeometryPanel, SitsCentredAtTheTopOfItsDisplay) {
    EXPECT_EQ(NotchGeometry::panelFrame({0, 0, 1440, 900}), (Rect{396, 676, 648, 224}));
    // A second display to the right and lower, in bottom-left coordinates.
    EXPECT_EQ(NotchGeometry::panelFrame({1440, 100, 1280, 800}), (Rect{1756, 676, 648, 224}));
}

} // namespace
} // namespace orlet
