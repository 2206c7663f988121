#include "Notch/X11Display.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>
#include <string>

namespace orlet {

std::unique_ptr<X11Display> X11Display::open() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<X11Display>(new X11Display(display));
}

X11Display::X11Display(_XDisplay* display) : display_(display) {
    const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display_));
    compositorSelection_ = XInternAtom(display_, name.c_str(), False);
    int errorBase = 0;
    if (XFixesQueryExtension(display_, &xfixesEventBase_, &errorBase)) {
        XFixesSelectSelectionInput(display_, DefaultRootWindow(display_), compositorSelection_,
                                   XFixesSetSelectionOwnerNotifyMask |
                                       XFixesSelectionWindowDestroyNotifyMask |
                                       XFixesSelectionClientCloseNotifyMask);
    }
    compositor_ = queryCompositor();
    XFlush(display_);
    notifier_ =
        std::make_unique<QSocketNotifier>(ConnectionNumber(display_), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &X11Display::readEvents);
}

X11Display::~X11Display() {
    notifier_.reset();
    XCloseDisplay(display_);
}

bool X11Display::selectRawMotion() {
    int event = 0;
    int error = 0;
    if (!XQueryExtension(display_, "XInputExtension", &xinputOpcode_, &event, &error)) {
        return false;
    }
    // 2.2: raw events reach us even while another client grabs the pointer.
    int major = 2;
    int minor = 2;
    if (XIQueryVersion(display_, &major, &minor) != Success) {
        return false;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawMotion);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
    XFlush(display_);
    return true;
}

void X11Display::readEvents() {
    bool moved = false;
    bool ownerChanged = false;
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == GenericEvent && event.xcookie.extension == xinputOpcode_ &&
            event.xcookie.evtype == XI_RawMotion) {
            moved = true;
        } else if (xfixesEventBase_ >= 0 &&
                   event.type == xfixesEventBase_ + XFixesSelectionNotify) {
            ownerChanged = true;
        }
    }
    if (ownerChanged) {
        const bool running = queryCompositor();
        if (running != compositor_) {
            compositor_ = running;
            emit compositorChanged(running);
        }
    }
    if (moved) {
        emit pointerMoved();
    }
}

void X11Display::setInputRegion(unsigned long window, const std::vector<QRect>& rects) {
    std::vector<XRectangle> shape;
    shape.reserve(rects.size());
    for (const QRect& rect : rects) {
        shape.push_back(XRectangle{static_cast<short>(rect.x()), static_cast<short>(rect.y()),
                                   static_cast<unsigned short>(rect.width()),
                                   static_cast<unsigned short>(rect.height())});
    }
    XShapeCombineRectangles(display_, window, ShapeInput, 0, 0, shape.data(),
                            static_cast<int>(shape.size()), ShapeSet, Unsorted);
    XFlush(display_);
}

bool X11Display::queryCompositor() const {
    return XGetSelectionOwner(display_, compositorSelection_) != None;
}

} // namespace orlet
