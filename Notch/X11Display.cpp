#include "Notch/X11Display.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>
#include <string>
#include <xcb/xcb.h>

namespace orlet {

std::unique_ptr<X11Display> X11Display::open() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    // The server Qt talks to, also when it was named with -display rather than $DISPLAY.
    const char* name = nullptr;
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        x11 != nullptr && x11->display() != nullptr) {
        name = DisplayString(x11->display());
    }
    Display* display = XOpenDisplay(name);
    if (display == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<X11Display>(new X11Display(display));
}

std::unique_ptr<X11Display> X11Display::openNamed(const char* name) {
    Display* display = XOpenDisplay(name);
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
    pickUpQueuedEvents();
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
    pickUpQueuedEvents();
    return true;
}

void X11Display::readEvents() {
    bool moved = false;
    bool ownerChanged = false;
    // Round trips (the owner query, other requests on this connection) can pull events into
    // Xlib's queue, where the socket no longer signals them: drain until nothing is left.
    do {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == GenericEvent && event.xcookie.extension == xinputOpcode_ &&
                event.xcookie.evtype == XI_RawMotion) {
                moved = true;
            } else if (xfixesEventBase_ >= 0 &&
                       event.type == xfixesEventBase_ + XFixesSelectionNotify) {
                ownerChanged = true;
            } else if (event.type == KeyPress || event.type == KeyRelease) {
                emit keyEvent(event.xkey.keycode, event.xkey.state, event.type == KeyPress,
                              event.xkey.time);
            }
        }
        if (ownerChanged) {
            ownerChanged = false;
            const bool running = queryCompositor();
            if (running != compositor_) {
                compositor_ = running;
                emit compositorChanged(running);
            }
        }
    } while (XEventsQueued(display_, QueuedAlready) > 0);
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
    pickUpQueuedEvents();
}

void X11Display::pickUpQueuedEvents() {
    if (XEventsQueued(display_, QueuedAlready) > 0) {
        QMetaObject::invokeMethod(this, &X11Display::readEvents, Qt::QueuedConnection);
    }
}

void X11Display::flushQt() {
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        xcb_flush(x11->connection());
    }
}

bool X11Display::queryCompositor() const {
    return XGetSelectionOwner(display_, compositorSelection_) != None;
}

} // namespace orlet
