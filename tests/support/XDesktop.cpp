#include "XDesktop.h"

#include "ChildProcess.h"

#include <X11/Xlib.h>
#include <X11/extensions/shape.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orlet::test {
namespace {

using namespace std::chrono_literals;

std::string searchPath(const Environment& environment) {
    if (const auto found = environment.find("PATH"); found != environment.end()) {
        return found->second;
    }
    const char* inherited = std::getenv("PATH");
    return inherited != nullptr ? inherited : "/usr/bin:/bin";
}

// The file `program` names, looked up in PATH like a shell does; empty when there is none.
std::string resolve(const std::string& program, const std::string& path) {
    if (program.find('/') != std::string::npos) {
        return ::access(program.c_str(), X_OK) == 0 ? program : std::string();
    }
    std::stringstream folders(path);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

std::string tail(const std::string& text, std::size_t length = 3000) {
    return text.size() <= length ? text : "…" + text.substr(text.size() - length);
}

// Xlib's default handlers end the process; a window that vanishes while we look at it is no
// reason for that.
int ignoreError(Display*, XErrorEvent*) {
    return 0;
}

// A short-lived connection: each question to the server gets a fresh one, so no state of ours
// lingers between the steps of a test.
class Connection {
public:
    explicit Connection(const std::string& name) {
        static std::once_flag handlerInstalled;
        std::call_once(handlerInstalled, [] { XSetErrorHandler(ignoreError); });
        display_ = XOpenDisplay(name.c_str());
        if (display_ == nullptr) {
            throw std::runtime_error("cannot connect to X display " + name);
        }
    }
    ~Connection() { XCloseDisplay(display_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Display* get() const { return display_; }

private:
    Display* display_ = nullptr;
};

bool answers(const std::string& name) {
    Display* display = XOpenDisplay(name.c_str());
    if (display == nullptr) {
        return false;
    }
    XCloseDisplay(display);
    return true;
}

// The server itself rather than the wrapper in PATH, which may admit console users only.
std::string xorgServer() {
    const std::string server = "/usr/lib/xorg/Xorg";
    return ::access(server.c_str(), X_OK) == 0 ? server : "Xorg";
}

// Millimetres for a 96 dpi monitor: RandR wants a physical size.
int millimetres(int pixels) {
    return std::max(1, pixels * 254 / 960);
}

} // namespace

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
}

// BackgroundProcess ---------------------------------------------------------------------------

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const Environment& environment, int passDescriptor)
    : program_(argv.at(0)) {
    const std::string executable = resolve(program_, searchPath(environment));
    if (executable.empty()) {
        throw std::runtime_error("cannot find the program " + program_);
    }
    // Everything the child needs is built before fork: after it only async-signal-safe calls.
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& arg : args) {
        argp.push_back(arg.data());
    }
    argp.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (const auto& [key, value] : environment) {
        envStrings.push_back(key + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& entry : envStrings) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 ||
        ::pipe2(wakeFD_, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        // Servers must not outlive a test that crashed.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        ::dup2(nothing, 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        if (passDescriptor == 3) {
            ::fcntl(3, F_SETFD, 0);
        } else if (passDescriptor >= 0) {
            ::dup2(passDescriptor, 3);
        }
        // Ignored signals stay ignored across exec; the test runner may ignore SIGPIPE.
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        ::sigaction(SIGPIPE, &standard, nullptr);
        ::execve(executable.c_str(), argp.data(), envp.data());
        ::_exit(127);
    }
    ::close(nothing);
    ::close(out[1]);
    ::close(err[1]);
    if (pid_ < 0) {
        ::close(out[0]);
        ::close(err[0]);
        throw std::runtime_error("cannot start " + program_);
    }
    reader_ = std::thread([this, outFD = out[0], errFD = err[0]] { collect(outFD, errFD); });
}

BackgroundProcess::~BackgroundProcess() {
    if (!exit_) {
        stop();
    }
    // Output written just before the exit is still in the pipes: let the reader take it.
    eventually([this] { return readerDone_.load(); }, 2s);
    const char wake = 0;
    [[maybe_unused]] const auto written = ::write(wakeFD_[1], &wake, 1);
    reader_.join();
    ::close(wakeFD_[0]);
    ::close(wakeFD_[1]);
}

void BackgroundProcess::collect(int outFD, int errFD) {
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        pollfd fds[3] = {{outOpen ? outFD : -1, POLLIN, 0},
                         {errOpen ? errFD : -1, POLLIN, 0},
                         {wakeFD_[0], POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (fds[2].revents != 0) {
            break;
        }
        char buffer[65536];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                std::lock_guard lock(mutex_);
                (i == 0 ? out_ : err_).append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                (i == 0 ? outOpen : errOpen) = false;
            }
        }
    }
    ::close(outFD);
    ::close(errFD);
    readerDone_ = true;
}

void BackgroundProcess::signal(int number) const {
    if (!exit_) {
        ::kill(pid_, number);
    }
}

std::string BackgroundProcess::out() const {
    std::lock_guard lock(mutex_);
    return out_;
}

std::string BackgroundProcess::err() const {
    std::lock_guard lock(mutex_);
    return err_;
}

bool BackgroundProcess::waitForOut(const std::string& text,
                                   std::chrono::milliseconds timeout) const {
    return eventually([&] { return out().find(text) != std::string::npos; }, timeout);
}

bool BackgroundProcess::waitForErr(const std::string& text,
                                   std::chrono::milliseconds timeout) const {
    return eventually([&] { return err().find(text) != std::string::npos; }, timeout);
}

bool BackgroundProcess::running() {
    if (exit_) {
        return false;
    }
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done != pid_) {
        return done == 0;
    }
    exit_ = WIFSIGNALED(status) ? Exit{-1, WTERMSIG(status)} : Exit{WEXITSTATUS(status), 0};
    return false;
}

std::optional<BackgroundProcess::Exit>
BackgroundProcess::waitForExit(std::chrono::milliseconds timeout) {
    eventually([this] { return !running(); }, timeout);
    return exit_;
}

BackgroundProcess::Exit BackgroundProcess::stop(std::chrono::milliseconds grace) {
    if (!exit_) {
        ::kill(pid_, SIGTERM);
        if (!waitForExit(grace)) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            exit_ = Exit{-1, SIGKILL};
        }
    }
    return *exit_;
}

// Image ---------------------------------------------------------------------------------------

Image Image::read(const std::filesystem::path& path) {
    const auto converted = ChildProcess::run({"convert", path.string(), "-depth", "8", "ppm:-"},
                                             {{"PATH", searchPath({})}});
    if (converted.exitCode != 0) {
        throw std::runtime_error("cannot read " + path.string() + ": " + converted.err);
    }
    // P6, width, height, maximum, one blank, then the samples; comments start with '#'.
    const std::string& data = converted.out;
    std::size_t at = 0;
    int fields[4] = {};
    std::string magic;
    for (int field = 0; field < 4; ++field) {
        for (;;) {
            while (at < data.size() && std::isspace(static_cast<unsigned char>(data[at]))) {
                ++at;
            }
            if (at < data.size() && data[at] == '#') {
                at = data.find('\n', at);
                continue;
            }
            break;
        }
        const std::size_t start = at;
        while (at < data.size() && !std::isspace(static_cast<unsigned char>(data[at]))) {
            ++at;
        }
        const std::string token = data.substr(start, at - start);
        if (field == 0) {
            magic = token;
        } else {
            fields[field] = std::atoi(token.c_str());
        }
    }
    ++at;
    Image image;
    image.width_ = fields[1];
    image.height_ = fields[2];
    const std::size_t size = static_cast<std::size_t>(image.width_) * image.height_ * 3;
    if (magic != "P6" || fields[3] != 255 || at + size > data.size()) {
        throw std::runtime_error("unexpected picture from " + path.string());
    }
    image.rgb_.assign(data.begin() + static_cast<std::ptrdiff_t>(at),
                      data.begin() + static_cast<std::ptrdiff_t>(at + size));
    return image;
}

bool Image::isBlack(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return false;
    }
    const std::size_t at = (static_cast<std::size_t>(y) * width_ + x) * 3;
    constexpr std::uint8_t dark = 0x30;
    return rgb_[at] <= dark && rgb_[at + 1] <= dark && rgb_[at + 2] <= dark;
}

std::vector<Run> Image::blackRuns(int row) const {
    std::vector<Run> runs;
    for (int x = 0; x < width_; ++x) {
        if (!isBlack(x, row)) {
            continue;
        }
        Run run{x, 0};
        while (x < width_ && isBlack(x, row)) {
            ++run.width;
            ++x;
        }
        runs.push_back(run);
    }
    return runs;
}

int Image::blackRunWidth(int row, int x) const {
    for (const Run& run : blackRuns(row)) {
        if (x >= run.x && x < run.x + run.width) {
            return run.width;
        }
    }
    return 0;
}

int Image::blackPixelsOutside(const PixelRect& allowed) const {
    int count = 0;
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            count += isBlack(x, y) && !allowed.contains(x, y) ? 1 : 0;
        }
    }
    return count;
}

int Image::blackPixelsInside(const PixelRect& area) const {
    int count = 0;
    for (int y = area.y; y < area.y + area.height; ++y) {
        for (int x = area.x; x < area.x + area.width; ++x) {
            count += isBlack(x, y) ? 1 : 0;
        }
    }
    return count;
}

// XDesktop ------------------------------------------------------------------------------------

std::optional<std::string> XDesktop::missingTools(bool xorg) {
    const std::string path = searchPath({});
    std::vector<std::string> tools = {xorg ? xorgServer() : "Xvfb", "xdotool", "import", "convert",
                                      "xcompmgr"};
    if (xorg) {
        tools.insert(tools.end(), {"xrandr", "xsetroot"});
    }
    std::string missing;
    for (const std::string& tool : tools) {
        if (resolve(tool, path).empty()) {
            missing += (missing.empty() ? "" : ", ") + tool;
        }
    }
    if (!missing.empty()) {
        return "not installed: " + missing;
    }
    return std::nullopt;
}

std::unique_ptr<XDesktop> XDesktop::startXorgDummy(std::vector<Monitor> monitors) {
    std::unique_ptr<XDesktop> desktop(new XDesktop);
    desktop->start({xorgServer(), "-config", ORLET_XORG_DUMMY_CONF, "-noreset", "-nolisten", "tcp",
                    "-logfile", (desktop->directory_.path() / "xorg.log").string()});
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        if (i == 0) {
            monitors[i].output = "DUMMY0";
        }
        desktop->setMonitor(monitors[i]);
    }
    desktop->run({"xsetroot", "-solid", "white"});
    return desktop;
}

std::unique_ptr<XDesktop> XDesktop::startXvfb(int width, int height) {
    std::unique_ptr<XDesktop> desktop(new XDesktop);
    desktop->start({"Xvfb", "-screen", "0",
                    std::to_string(width) + "x" + std::to_string(height) + "x24", "-wr", "-noreset",
                    "-nolisten", "tcp"});
    return desktop;
}

void XDesktop::start(std::vector<std::string> argv) {
    // The server takes the first free display number and tells it once it accepts clients.
    int number[2];
    if (::pipe2(number, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    argv.insert(argv.begin() + 1, {"-displayfd", "3"});
    try {
        server_ = std::make_unique<BackgroundProcess>(argv, Environment{{"PATH", searchPath({})}},
                                                      number[1]);
    } catch (...) {
        ::close(number[0]);
        ::close(number[1]);
        throw;
    }
    ::close(number[1]);
    std::string told;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (told.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd fd{number[0], POLLIN, 0};
        if (::poll(&fd, 1, 100) <= 0) {
            continue;
        }
        char buffer[32];
        const ssize_t n = ::read(number[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        told.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(number[0]);
    if (told.find('\n') == std::string::npos) {
        throw std::runtime_error(argv.front() + " did not start: " + serverLog());
    }
    display_ = ":" + told.substr(0, told.find('\n'));
    if (!eventually([this] { return answers(display_); })) {
        throw std::runtime_error(argv.front() + " does not answer on " + display_ + ": " +
                                 serverLog());
    }
}

XDesktop::~XDesktop() {
    compositor_.reset();
    server_.reset();
}

Environment XDesktop::environment() const {
    return {{"DISPLAY", display_}, {"PATH", searchPath({})}, {"HOME", directory_.path().string()}};
}

std::string XDesktop::serverLog() const {
    std::ifstream file(directory_.path() / "xorg.log");
    std::stringstream text;
    text << file.rdbuf();
    return tail(text.str()) + tail(server_ != nullptr ? server_->err() : std::string());
}

void XDesktop::run(const std::vector<std::string>& argv) const {
    const ChildProcess::Result result = ChildProcess::run(argv, environment());
    if (result.exitCode != 0) {
        std::string command;
        for (const std::string& arg : argv) {
            command += arg + " ";
        }
        throw std::runtime_error(command + "failed: " + result.err);
    }
}

void XDesktop::startCompositor() {
    if (compositor_ != nullptr) {
        return;
    }
    compositor_ = launch({"xcompmgr"});
    if (!eventually([this] { return compositorRunning(); })) {
        throw std::runtime_error("xcompmgr did not take over: " + compositor_->err());
    }
}

void XDesktop::stopCompositor() {
    if (compositor_ == nullptr) {
        return;
    }
    compositor_->stop();
    compositor_.reset();
    if (!eventually([this] { return !compositorRunning(); })) {
        throw std::runtime_error("the compositing manager selection is still owned");
    }
}

bool XDesktop::compositorRunning() const {
    const Connection connection(display_);
    Display* display = connection.get();
    const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
    return XGetSelectionOwner(display, XInternAtom(display, name.c_str(), False)) != None;
}

void XDesktop::setMonitor(const Monitor& monitor) {
    const std::string geometry =
        std::to_string(monitor.width) + "/" + std::to_string(millimetres(monitor.width)) + "x" +
        std::to_string(monitor.height) + "/" + std::to_string(millimetres(monitor.height)) + "+" +
        std::to_string(monitor.x) + "+" + std::to_string(monitor.y);
    // A leading '*' makes it the primary monitor.
    run({"xrandr", "--setmonitor", (monitor.primary ? "*" : "") + monitor.name, geometry,
         monitor.output});
}

void XDesktop::removeMonitor(const std::string& name) {
    run({"xrandr", "--delmonitor", name});
}

void XDesktop::movePointer(int x, int y) {
    const int step = x > 0 ? 1 : -1;
    run({"xdotool", "mousemove", std::to_string(x - step), std::to_string(y), "mousemove_relative",
         "--", std::to_string(step), "0"});
}

void XDesktop::click(int x, int y) {
    movePointer(x, y);
    run({"xdotool", "click", "1"});
}

Image XDesktop::screenshot(const std::filesystem::path& path) {
    run({"import", "-window", "root", path.string()});
    return Image::read(path);
}

std::vector<WindowInfo> XDesktop::windowsNamed(const std::string& name) const {
    const Connection connection(display_);
    Display* display = connection.get();
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<WindowInfo> found;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0) {
        return found;
    }
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) == 0 ||
            attributes.map_state != IsViewable) {
            continue;
        }
        char* title = nullptr;
        if (XFetchName(display, children[i], &title) != 0 && title != nullptr) {
            if (name == title) {
                found.push_back(
                    {children[i],
                     {attributes.x, attributes.y, attributes.width, attributes.height}});
            }
            XFree(title);
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

std::vector<PixelRect> XDesktop::inputRegion(unsigned long window) const {
    const Connection connection(display_);
    int count = 0;
    int ordering = 0;
    XRectangle* rects =
        XShapeGetRectangles(connection.get(), window, ShapeInput, &count, &ordering);
    std::vector<PixelRect> region;
    for (int i = 0; i < count; ++i) {
        region.push_back({rects[i].x, rects[i].y, rects[i].width, rects[i].height});
    }
    if (rects != nullptr) {
        XFree(rects);
    }
    return region;
}

std::unique_ptr<BackgroundProcess> XDesktop::launch(const std::vector<std::string>& argv,
                                                    const Environment& environment) const {
    Environment merged = environment;
    const Environment base = this->environment();
    merged.insert(base.begin(), base.end());
    return std::make_unique<BackgroundProcess>(argv, merged);
}

} // namespace orlet::test
