#include "Notch/QtScreenSource.h"

#include "Notch/ScreenCoordinates.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QScreen>

namespace orlet {

QtScreenSource::QtScreenSource(QObject* parent) : QObject(parent) {
    auto* app = qGuiApp;
    connect(app, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        watch(screen);
        changed();
    });
    connect(app, &QGuiApplication::screenRemoved, this, [this] { changed(); });
    connect(app, &QGuiApplication::primaryScreenChanged, this, [this] { changed(); });
    for (QScreen* screen : QGuiApplication::screens()) {
        watch(screen);
    }
}

void QtScreenSource::watch(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, [this] { changed(); });
    connect(screen, &QScreen::availableGeometryChanged, this, [this] { changed(); });
}

void QtScreenSource::changed() {
    // A monitor change arrives as several signals; rebuild once for all of them.
    if (changePosted_) {
        return;
    }
    changePosted_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            changePosted_ = false;
            if (onChange) {
                onChange();
            }
        },
        Qt::QueuedConnection);
}

std::uint32_t QtScreenSource::idOf(const QScreen* screen) const {
    const QString key = screen->name() + QLatin1Char('/') + screen->serialNumber();
    const auto found = ids_.constFind(key);
    if (found != ids_.constEnd()) {
        return *found;
    }
    const auto id = static_cast<std::uint32_t>(ids_.size() + 1);
    ids_.insert(key, id);
    return id;
}

std::vector<DisplayInfo> QtScreenSource::displays() const {
    std::vector<DisplayInfo> result;
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary == nullptr) {
        return result;
    }
    const ScreenCoordinates coordinates(primary->geometry());
    for (const QScreen* screen : QGuiApplication::screens()) {
        DisplayInfo display;
        display.id = idOf(screen);
        display.measurements.frame = coordinates.toNotch(QRectF(screen->geometry()));
        display.measurements.visibleFrame =
            coordinates.toNotch(QRectF(screen->availableGeometry()));
        display.isMain = screen == primary;
        result.push_back(display);
    }
    return result;
}

} // namespace orlet
