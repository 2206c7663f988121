#include "Media/ArtworkTint.h"

#include "QtTestSupport.h"
#include "TestNames.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace orlet {
namespace {

struct Hsv {
    float hue;
    float saturation;
    float value;
};

Hsv hsv(const QColor& color) {
    Hsv result{};
    color.getHsvF(&result.hue, &result.saturation, &result.value);
    return result;
}

QImage filled(int width, int height, QColor color, QImage::Format format = QImage::Format_RGB32) {
    QImage image(width, height, format);
    image.fill(color);
    return image;
}

struct TintCase {
    const char* sentence;
    QImage image;
    Hsv expected; // hue in 0…1
};

class ArtworkTintCases : public testing::TestWithParam<TintCase> {};

TEST_P(ArtworkTintCases, LiftsTheWeightedAverage) {
    const std::optional<QColor> tint = ArtworkTint::vividAverage(GetParam().image);
    ASSERT_TRUE(tint);
    ASSERT_TRUE(tint->isValid());
    EXPECT_EQ(tint->alphaF(), 1.0f);
    const Hsv got = hsv(*tint);
    // Qt keeps 16 bits a component; the sums are exact to far better than this.
    EXPECT_NEAR(got.hue, GetParam().expected.hue, 0.002);
    EXPECT_NEAR(got.saturation, GetParam().expected.saturation, 0.002);
    EXPECT_NEAR(got.value, GetParam().expected.value, 0.002);
}

QImage halfBlueHalfGrey() {
    // 8 × 8 needs no scaling: 32 blue pixels weigh 1.05 each, 32 grey ones (128) 0.05 each.
    QImage image = filled(8, 8, QColor(128, 128, 128));
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 8; ++x) {
            image.setPixelColor(x, y, QColor(0, 0, 255));
        }
    }
    return image;
}

QImage redLeftGreenRight() {
    QImage image = filled(640, 640, Qt::red);
    QPainter painter(&image);
    painter.fillRect(320, 0, 320, 640, Qt::green);
    return image;
}

// Σw = 32 × 1.05 + 32 × 0.05 = 35.2; grey g = 128/255.
constexpr double grey = 128.0 / 255.0;
constexpr double mixedRed = 32 * grey * 0.05 / 35.2;
constexpr double mixedBlue = (32 * 1.05 + 32 * grey * 0.05) / 35.2;

INSTANTIATE_TEST_SUITE_P(
    Cases, ArtworkTintCases,
    testing::Values(
        // Greys have no hue in Qt (-1); the lifted colour must still be a valid red tint.
        TintCase{"all black gives the floor colour of hue 0",
                 filled(300, 300, Qt::black),
                 {0, 0.35f, 0.75f}},
        TintCase{"pure red stays pure red", filled(64, 64, Qt::red), {0, 1, 1}},
        TintCase{"a dark muted colour is brightened, keeping its saturation",
                 filled(16, 16, QColor(51, 26, 26)),
                 {0, 0.49f, 0.75f}},
        TintCase{"colourful pixels outweigh grey ones",
                 halfBlueHalfGrey(),
                 {240.0f / 360, static_cast<float>((mixedBlue - mixedRed) / mixedBlue),
                  static_cast<float>(mixedBlue)}},
        TintCase{"a large image is averaged over its areas",
                 redLeftGreenRight(),
                 {60.0f / 360, 1, 0.75f}},
        // Premultiplied: hidden colour under full transparency counts as black.
        TintCase{"transparent pixels count as black",
                 filled(32, 32, QColor(255, 0, 0, 0), QImage::Format_ARGB32),
                 {0, 0.35f, 0.75f}}),
    test::SentenceName());

TEST(ArtworkTint, AnImageThatCannotBeSampledHasNoTint) {
    EXPECT_EQ(ArtworkTint::vividAverage(QImage()), std::nullopt);
    EXPECT_EQ(ArtworkTint::vividAverage(QImage::fromData(QByteArray("not an image"))),
              std::nullopt);
}

} // namespace
} // namespace orlet
