#include "Notch/X11PointerSource.h"

#include "Notch/ScreenCoordinates.h"
#include "Notch/X11Display.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace orlet {

X11PointerSource::X11PointerSource(X11Display* display, QObject* parent)
    : QObject(parent), display_(display) {}

Point X11PointerSource::position() const {
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect geometry = primary != nullptr ? primary->geometry() : QRect();
    return ScreenCoordinates(geometry).toNotch(QPointF(QCursor::pos()));
}

bool X11PointerSource::start() {
    if (display_ == nullptr || !display_->selectRawMotion()) {
        return false;
    }
    connection_ = connect(display_, &X11Display::pointerMoved, this, [this] {
        if (onMove) {
            onMove();
        }
    });
    return true;
}

void X11PointerSource::stop() {
    disconnect(connection_);
}

} // namespace orlet
