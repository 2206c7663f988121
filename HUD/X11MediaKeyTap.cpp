#include "HUD/X11MediaKeyTap.h"

#include "Platform/Log.h"

#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <algorithm>

namespace orlet {
namespace {

// Grab errors arrive asynchronously through Xlib's one process-wide handler; it is swapped in
// only around the synchronous grab on the main thread.
int failedGrabs = 0;

int countGrabError(Display*, XErrorEvent* error) {
    if (error->request_code == 33 /* X_GrabKey */) {
        ++failedGrabs;
    }
    return 0;
}

std::uint64_t modifierFlags(unsigned int state) {
    std::uint64_t flags = 0;
    if (state & ShiftMask) {
        flags |= MediaKeyTap::shiftFlag;
    }
    if (state & ControlMask) {
        flags |= MediaKeyTap::controlFlag;
    }
    if (state & Mod1Mask) {
        flags |= MediaKeyTap::optionFlag;
    }
    if (state & Mod4Mask) {
        flags |= MediaKeyTap::commandFlag;
    }
    return flags;
}

} // namespace

X11MediaKeyTap::X11MediaKeyTap(_XDisplay* display, std::function<void()> pickUpEvents)
    : display_(display), pickUpEvents_(std::move(pickUpEvents)) {
    if (display_ == nullptr) {
        return;
    }
    const std::pair<KeySym, MediaKey> symbols[] = {
        {XF86XK_AudioRaiseVolume, MediaKey::soundUp},
        {XF86XK_AudioLowerVolume, MediaKey::soundDown},
        {XF86XK_AudioMute, MediaKey::mute},
        {XF86XK_MonBrightnessUp, MediaKey::brightnessUp},
        {XF86XK_MonBrightnessDown, MediaKey::brightnessDown},
        {XF86XK_KbdBrightnessUp, MediaKey::illuminationUp},
        {XF86XK_KbdBrightnessDown, MediaKey::illuminationDown},
    };
    for (const auto& [symbol, key] : symbols) {
        if (const KeyCode code = XKeysymToKeycode(display_, symbol); code != 0) {
            keys_.emplace_back(code, key);
        }
    }
}

X11MediaKeyTap::~X11MediaKeyTap() {
    stop();
}

bool X11MediaKeyTap::isTrusted() {
    if (running_) {
        return true;
    }
    if (!grab()) {
        return false;
    }
    ungrab();
    return true;
}

bool X11MediaKeyTap::start() {
    if (running_) {
        return true;
    }
    if (!grab()) {
        return false;
    }
    // Held keys then repeat as presses without releases in between.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(display_, True, &supported);
    running_ = true;
    return true;
}

void X11MediaKeyTap::stop() {
    if (!running_) {
        return;
    }
    ungrab();
    down_.clear();
    running_ = false;
}

bool X11MediaKeyTap::grab() {
    if (display_ == nullptr || keys_.empty()) {
        return false;
    }
    const Window root = DefaultRootWindow(display_);
    // Errors of earlier requests still go to the usual handler.
    XSync(display_, False);
    XErrorHandler previous = XSetErrorHandler(countGrabError);
    failedGrabs = 0;
    for (const auto& [code, key] : keys_) {
        // Any modifiers: Shift+Alt picks the fine step.
        XGrabKey(display_, static_cast<int>(code), AnyModifier, root, True, GrabModeAsync,
                 GrabModeSync);
    }
    XSync(display_, False);
    XSetErrorHandler(previous);
    const bool taken = failedGrabs == 0;
    if (!taken) {
        ungrab();
    }
    if (pickUpEvents_) {
        pickUpEvents_();
    }
    return taken;
}

void X11MediaKeyTap::ungrab() {
    const Window root = DefaultRootWindow(display_);
    for (const auto& [code, key] : keys_) {
        XUngrabKey(display_, static_cast<int>(code), AnyModifier, root);
    }
    XFlush(display_);
}

void X11MediaKeyTap::received(unsigned int keycode, unsigned int state, bool pressed,
                              unsigned long time) {
    if (display_ == nullptr) {
        return;
    }
    const auto found = std::find_if(keys_.begin(), keys_.end(), [keycode](const auto& entry) {
        return entry.first == keycode;
    });
    bool handled = false;
    if (found != keys_.end()) {
        const bool repeat = pressed && down_.contains(keycode);
        if (pressed) {
            down_.insert(keycode);
        } else {
            down_.erase(keycode);
        }
        if (running_) {
            const MediaKeyEvent event{found->second, pressed, repeat};
            if (const auto parsed =
                    MediaKeyEvent::parse(MediaKeyEvent::auxiliaryControlButtons, event.data1())) {
                handled = deliver(*parsed, modifierFlags(state));
            }
        }
        if (pressed && !handled) {
            // The desktop gets this press, and with it the release.
            down_.erase(keycode);
        }
    }
    // Whatever happened, the frozen keyboard must move on.
    XAllowEvents(display_, handled ? AsyncKeyboard : ReplayKeyboard, time);
    XFlush(display_);
}

} // namespace orlet
