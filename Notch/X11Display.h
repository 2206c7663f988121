#pragma once

#include <QRect>
#include <memory>
#include <vector>

struct _XDisplay;

namespace orlet {

// A private Xlib connection for what Qt does not offer: raw pointer motion on the root window,
// input shapes, and whether a compositing manager runs. Absent on other platforms.
class X11Display {
public:
    // Nothing when the application does not run on X11 or the server cannot be reached.
    static std::unique_ptr<X11Display> open();
    ~X11Display();
    X11Display(const X11Display&) = delete;
    X11Display& operator=(const X11Display&) = delete;

    _XDisplay* handle() const { return display_; }
    int descriptor() const;
    int xinputOpcode() const { return xinputOpcode_; }

    // Listens for raw motion of every pointer; false when the server lacks XInput 2.
    bool selectRawMotion();
    // Drains the queue; true when the pointer moved since the last call.
    bool takeMotion();

    // Clicks land on the window only inside `rects` (device pixels, window-local); empty lets
    // every click through.
    void setInputRegion(unsigned long window, const std::vector<QRect>& rects);
    // Whether transparent pixels really are transparent on this screen.
    bool compositorRunning() const;

private:
    explicit X11Display(_XDisplay* display) : display_(display) {}

    _XDisplay* display_;
    int xinputOpcode_ = -1;
};

} // namespace orlet
