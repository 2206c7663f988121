#include "Media/ArtworkTint.h"

#include <QImage>
#include <algorithm>

namespace orlet {

std::optional<QColor> ArtworkTint::vividAverage(const QImage& image) {
    if (image.isNull()) {
        return std::nullopt;
    }
    // Premultiplied before scaling, so transparent areas count as black rather than as the
    // colour hidden under them. Qt's smooth scaling averages whole areas, as a high-quality
    // draw into a small bitmap does.
    const QImage source = image.hasAlphaChannel()
                              ? image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                              : image;
    const QImage sample =
        source.scaled(sampleSize, sampleSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    if (sample.isNull() || sample.width() != sampleSize || sample.height() != sampleSize) {
        return std::nullopt;
    }
    double total = 0;
    double red = 0;
    double green = 0;
    double blue = 0;
    for (int y = 0; y < sampleSize; ++y) {
        const uchar* row = sample.constScanLine(y);
        for (int x = 0; x < sampleSize; ++x) {
            const double r = row[x * 4] / 255.0;
            const double g = row[x * 4 + 1] / 255.0;
            const double b = row[x * 4 + 2] / 255.0;
            // Colourful pixels dominate; the floor keeps a grey image from dividing by zero.
            const double weight = (std::max({r, g, b}) - std::min({r, g, b})) + 0.05;
            total += weight;
            red += r * weight;
            green += g * weight;
            blue += b * weight;
        }
    }
    if (total <= 0) {
        return std::nullopt;
    }
    const QColor average =
        QColor::fromRgbF(static_cast<float>(red / total), static_cast<float>(green / total),
                         static_cast<float>(blue / total));
    float hue = 0;
    float saturation = 0;
    float value = 0;
    average.getHsvF(&hue, &saturation, &value);
    // Qt answers hue -1 for greys; the lifted colour of a grey is a red tint of hue 0.
    return QColor::fromHsvF(std::max(hue, 0.0f),
                            std::max(saturation, static_cast<float>(minimumSaturation)),
                            std::max(value, static_cast<float>(minimumBrightness)), 1.0f);
}

} // namespace orlet
