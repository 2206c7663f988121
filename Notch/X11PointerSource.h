#pragma once

#include "Notch/PointerSource.h"

#include <QMetaObject>
#include <QObject>

namespace orlet {

class X11Display;

// Pointer movements anywhere on an X11 desktop, from XInput 2 raw motion: the process sleeps
// until the pointer really moves, there is no polling timer.
class X11PointerSource : public QObject, public PointerSource {
    Q_OBJECT

public:
    explicit X11PointerSource(X11Display* display, QObject* parent = nullptr);

    Point position() const override;
    bool start() override;
    void stop() override;

private:
    X11Display* display_;
    QMetaObject::Connection connection_;
};

} // namespace orlet
