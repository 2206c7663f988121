#pragma once

#include "HUD/MediaKeyTap.h"

#include <set>
#include <utility>
#include <vector>

struct _XDisplay;

namespace orlet {

// The special keys taken with passive grabs on the root window of an X server. A grab freezes
// the keyboard at each press until the handler answered: a swallowed key goes no further, any
// other is replayed to the window that has the focus. Grabbing fails when another client (the
// desktop's own volume handling) already holds one of the keys; then nothing is taken.
class X11MediaKeyTap : public MediaKeyTap {
public:
    // `display` is a private Xlib connection whose key events are handed to received(), and
    // `pickUpEvents` reads events that a round trip left in Xlib's queue. No display: never
    // runs.
    X11MediaKeyTap(_XDisplay* display, std::function<void()> pickUpEvents);
    ~X11MediaKeyTap() override;
    X11MediaKeyTap(const X11MediaKeyTap&) = delete;
    X11MediaKeyTap& operator=(const X11MediaKeyTap&) = delete;

    bool isTrusted() override;
    bool start() override;
    void stop() override;
    bool isRunning() const override { return running_; }

    // Every key press or release the connection reads; only grabbed keys arrive there.
    void received(unsigned int keycode, unsigned int state, bool pressed, unsigned long time);

    // The key codes this server gives the special keys; keys it lacks are left out.
    const std::vector<std::pair<unsigned int, MediaKey>>& keys() const { return keys_; }

private:
    bool grab();
    void ungrab();

    _XDisplay* display_;
    std::function<void()> pickUpEvents_;
    std::vector<std::pair<unsigned int, MediaKey>> keys_;
    std::set<unsigned int> down_;
    bool running_ = false;
};

} // namespace orlet
