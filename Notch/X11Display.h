#pragma once

#include <QObject>
#include <QRect>
#include <memory>
#include <vector>

struct _XDisplay;
class QSocketNotifier;

namespace orlet {

// A private Xlib connection for what Qt does not offer: raw pointer motion on the root window,
// input shapes, and whether a compositing manager runs. Absent on other platforms. Its events
// are read when the connection's socket is readable: nothing polls.
class X11Display : public QObject {
    Q_OBJECT

public:
    // Nothing when the application does not run on X11 or the server cannot be reached.
    static std::unique_ptr<X11Display> open();
    // A connection to the server `name` (":1"), whatever platform Qt itself runs on.
    static std::unique_ptr<X11Display> openNamed(const char* name);
    ~X11Display() override;

    _XDisplay* handle() const { return display_; }

    // Listens for raw motion of every pointer; false when the server lacks XInput 2.
    bool selectRawMotion();

    // Clicks land on the window only inside `rects` (device pixels, window-local); empty lets
    // every click through.
    void setInputRegion(unsigned long window, const std::vector<QRect>& rects);
    // Whether transparent pixels really are transparent on this screen; follows the
    // compositing manager as it starts and stops.
    bool compositorRunning() const { return compositor_; }

    // Sends what Qt has queued on its own connection. Qt flushes when it next paints or reads;
    // a shape change with nothing to paint would otherwise wait for the next pointer movement.
    static void flushQt();

    // After a round trip on this connection: events it left in Xlib's queue are read on the
    // next turn of the event loop.
    void pickUpQueued() { pickUpQueuedEvents(); }

signals:
    void pointerMoved();
    void compositorChanged(bool running);
    // A press or release of a key grabbed on this connection.
    void keyEvent(unsigned int keycode, unsigned int state, bool pressed, unsigned long time);

private:
    explicit X11Display(_XDisplay* display);
    void readEvents();
    // Events already in Xlib's queue are read on the next turn of the event loop.
    void pickUpQueuedEvents();
    bool queryCompositor() const;

    _XDisplay* display_;
    unsigned long compositorSelection_ = 0;
    int xinputOpcode_ = -1;
    int xfixesEventBase_ = -1;
    bool compositor_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace orlet
