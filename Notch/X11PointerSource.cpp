#include "Notch/X11PointerSource.h"

#include "Notch/ScreenCoordinates.h"
#include "Notch/X11Display.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>

namespace orlet {

X11PointerSource::X11PointerSource(X11Display* display, QObject* parent)
    : QObject(parent), display_(display) {}

X11PointerSource::~X11PointerSource() = default;

Point X11PointerSource::position() const {
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect geometry = primary != nullptr ? primary->geometry() : QRect();
    return ScreenCoordinates(geometry).toNotch(QPointF(QCursor::pos()));
}

bool X11PointerSource::start() {
    if (display_ == nullptr || !display_->selectRawMotion()) {
        return false;
    }
    notifier_ = std::make_unique<QSocketNotifier>(display_->descriptor(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        if (display_->takeMotion() && onMove) {
            onMove();
        }
    });
    // Events may already wait in Xlib's queue, where the socket no longer signals them.
    if (display_->takeMotion() && onMove) {
        onMove();
    }
    return true;
}

void X11PointerSource::stop() {
    notifier_.reset();
}

} // namespace orlet
