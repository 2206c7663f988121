#pragma once

#include "TemporaryDirectory.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace orlet::test {

using Environment = std::map<std::string, std::string>;

// Checks `condition` every few milliseconds until it holds or `timeout` passes; whether it held.
// Only for waiting on other processes: the desktop settles when it settles.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(10));

// A program that keeps running while the test goes on. Its output is collected on a thread of
// its own; it is ended (SIGTERM, then SIGKILL) when this object goes, and gets SIGTERM should
// the test process itself die, so no server outlives a crashed test.
class BackgroundProcess {
public:
    struct Exit {
        int code = -1;  ///< when it exited
        int signal = 0; ///< when a signal ended it
    };

    // `passDescriptor`, when given, is the child's descriptor 3.
    BackgroundProcess(const std::vector<std::string>& argv, const Environment& environment,
                      int passDescriptor = -1);
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    pid_t pid() const { return pid_; }
    const std::string& program() const { return program_; }
    void signal(int number) const;
    std::string out() const;
    std::string err() const;
    // Polls until `text` shows on standard output (or error); whether it did.
    bool waitForOut(const std::string& text,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    bool waitForErr(const std::string& text,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // The exit, once it happened within `timeout`.
    std::optional<Exit> waitForExit(std::chrono::milliseconds timeout);
    bool running();
    // SIGTERM, then SIGKILL after `grace`; how it ended.
    Exit stop(std::chrono::milliseconds grace = std::chrono::seconds(5));

private:
    void collect(int outFD, int errFD);

    std::string program_;
    pid_t pid_ = -1;
    std::optional<Exit> exit_;
    int wakeFD_[2] = {-1, -1};
    std::thread reader_;
    std::atomic<bool> readerDone_ = false;
    mutable std::mutex mutex_;
    std::string out_;
    std::string err_;
};

// One RandR monitor of the dummy server.
struct Monitor {
    std::string name;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool primary = false;
    std::string output = "none"; ///< the RandR output it shows on
};

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const PixelRect&) const = default;
    bool contains(int px, int py) const {
        return px >= x && px < x + width && py >= y && py < y + height;
    }
};

struct WindowInfo {
    unsigned long id = 0;
    PixelRect frame;
};

// A horizontal stretch of black pixels.
struct Run {
    int x = 0;
    int width = 0;
};

// An RGB picture of the screen.
class Image {
public:
    // Reads any format ImageMagick knows.
    static Image read(const std::filesystem::path& path);

    int width() const { return width_; }
    int height() const { return height_; }
    // Black enough to be the notch: anti-aliased edges count, the grey of a desktop does not.
    bool isBlack(int x, int y) const;
    std::vector<Run> blackRuns(int row) const;
    // The width of the black run in `row` that covers column `x`; 0 when that pixel is not black.
    int blackRunWidth(int row, int x) const;
    // Black pixels outside `allowed`.
    int blackPixelsOutside(const PixelRect& allowed) const;
    int blackPixelsInside(const PixelRect& area) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> rgb_;
};

// A private X server for one test, its root white (grey where xcompmgr paints it), gone with
// everything it started when the object goes.
class XDesktop {
public:
    // Xorg with the dummy driver (configuration ORLET_XORG_DUMMY_CONF, one 2720 x 900 screen)
    // split into `monitors`. The first monitor takes the output DUMMY0, so the output's own
    // monitor goes away.
    static std::unique_ptr<XDesktop> startXorgDummy(std::vector<Monitor> monitors);
    // Xvfb with a single monitor.
    static std::unique_ptr<XDesktop> startXvfb(int width, int height);
    // Why these servers cannot start here, or nothing when they can.
    static std::optional<std::string> missingTools(bool xorg);

    ~XDesktop();
    XDesktop(const XDesktop&) = delete;
    XDesktop& operator=(const XDesktop&) = delete;

    const std::string& display() const { return display_; }
    // What a client of this display needs: DISPLAY, PATH and a HOME of its own.
    Environment environment() const;
    // The end of the server's log and standard error.
    std::string serverLog() const;

    // xcompmgr; returns once it owns the compositing manager selection.
    void startCompositor();
    void stopCompositor();
    bool compositorRunning() const;

    void setMonitor(const Monitor& monitor);
    void removeMonitor(const std::string& name);

    // Moves the pointer so that XInput2 reports raw motion: a warp next to the target and a
    // relative step onto it (a warp alone produces none).
    void movePointer(int x, int y);
    void click(int x, int y);

    // The whole screen, saved at `path` and read back.
    Image screenshot(const std::filesystem::path& path);

    // Viewable top-level windows of that name, bottom to top.
    std::vector<WindowInfo> windowsNamed(const std::string& name) const;
    // The rectangles of a window's input shape, in its own coordinates.
    std::vector<PixelRect> inputRegion(unsigned long window) const;

    // Runs a program on this display; `environment` adds to environment().
    std::unique_ptr<BackgroundProcess> launch(const std::vector<std::string>& argv,
                                              const Environment& environment = {}) const;

private:
    XDesktop() = default;
    // Starts the server of `argv` (its program first) on a free display number.
    void start(std::vector<std::string> argv);
    void run(const std::vector<std::string>& argv) const;

    TemporaryDirectory directory_{"/tmp/orlet-x-"};
    std::string display_;
    std::unique_ptr<BackgroundProcess> server_;
    std::unique_ptr<BackgroundProcess> compositor_;
};

} // namespace orlet::test
