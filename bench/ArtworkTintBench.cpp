// The artwork tint of a typical cover: a 640 × 640 picture, decoded once, then reduced and
// averaged per iteration, as the now playing service does off the main thread.
#include "Media/ArtworkTint.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

namespace {

QImage cover(QImage::Format format) {
    QImage image(640, 640, format);
    QPainter painter(&image);
    // Gradients and shapes, so the scaling has real work and no uniform shortcut.
    QLinearGradient gradient(0, 0, 640, 640);
    gradient.setColorAt(0, QColor(200, 40, 90));
    gradient.setColorAt(1, QColor(20, 60, 180));
    painter.fillRect(image.rect(), gradient);
    painter.setBrush(QColor(250, 200, 30));
    painter.drawEllipse(160, 160, 320, 320);
    return image;
}

void tint(benchmark::State& state, QImage::Format format) {
    const QImage image = cover(format);
    for (auto _ : state) {
        benchmark::DoNotOptimize(orlet::ArtworkTint::vividAverage(image));
    }
}

// A decoded JPEG: opaque RGB32.
void BM_TintOpaqueCover(benchmark::State& state) {
    tint(state, QImage::Format_RGB32);
}
// A decoded PNG with transparency: premultiplied first.
void BM_TintCoverWithAlpha(benchmark::State& state) {
    tint(state, QImage::Format_ARGB32);
}

BENCHMARK(BM_TintOpaqueCover)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TintCoverWithAlpha)->Unit(benchmark::kMillisecond);

} // namespace
