#pragma once

#include "Notch/NotchSurface.h"

#include <QQuickView>

namespace orlet {

class NotchViewModel;
class X11Display;

// The transparent, frameless, never-focused window that shows one notch. On X11 it is left to
// itself by the window manager (so it has no taskbar entry, sits on every workspace and above
// full-screen windows), and its input shape holds the notch body only while the pointer is
// there, so clicks reach the windows below everywhere else.
class NotchPanel : public QQuickView, public NotchSurface {
    Q_OBJECT

public:
    NotchPanel(NotchViewModel& model, X11Display* x11);
    ~NotchPanel() override;

    void setFrame(const Rect& frame) override;
    void setIgnoresMouseEvents(bool ignores) override;
    bool ignoresMouseEvents() const override { return ignoresMouseEvents_; }
    void orderFront() override;
    void orderOut() override;

    // The body's rectangle in window coordinates, ears included.
    QRect bodyRect() const;

private:
    void applyInputRegion();
    void applyBoundingShape();

    NotchViewModel& model_;
    X11Display* x11_;
    bool ignoresMouseEvents_ = true;
    bool compositor_ = true;
};

} // namespace orlet
