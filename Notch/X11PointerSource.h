#pragma once

#include "Notch/PointerSource.h"

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace orlet {

class X11Display;

// Pointer movements anywhere on an X11 desktop, from XInput 2 raw motion: the process sleeps
// until the pointer really moves, there is no polling timer.
class X11PointerSource : public QObject, public PointerSource {
    Q_OBJECT

public:
    explicit X11PointerSource(X11Display* display, QObject* parent = nullptr);
    ~X11PointerSource() override;

    Point position() const override;
    bool start() override;
    void stop() override;

private:
    X11Display* display_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace orlet
