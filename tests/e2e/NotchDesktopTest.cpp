// The application on private X servers: its windows, what they draw, where clicks go, and how
// it starts, hands over and quits.
#include "Activity/ClientIdentifier.h"
#include "ChildProcess.h"
#include "Platform/DefaultsStore.h"
#include "TemporaryDirectory.h"
#include "XDesktop.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ostream>
#include <sys/stat.h>

namespace orlet::test {

void PrintTo(const PixelRect& rect, std::ostream* out) {
    *out << rect.width << "x" << rect.height << "+" << rect.x << "+" << rect.y;
}

namespace {

using namespace std::chrono_literals;
using ::testing::UnorderedElementsAre;

constexpr int panelWidth = 648;
constexpr int panelHeight = 224;

// Widths of the black body as a screenshot shows it, with or without its ears and anti-aliased
// edges: closed about 190 + 2 x 6, open about 560 + 2 x 16.
constexpr int closedNarrowest = 184;
constexpr int closedWidest = 208;
constexpr int openNarrowest = 550;
constexpr int openWidest = 600;
// Inside the closed body, and below it but inside the open one.
constexpr int closedRow = 5;
constexpr int openRow = 100;

const Monitor leftMonitor{"L", 0, 0, 1440, 900, true};
const Monitor rightMonitor{"R", 1440, 0, 1280, 800};

int middle(const Monitor& monitor) {
    return monitor.x + monitor.width / 2;
}

// Where the notch window of a monitor belongs: centred at its top edge.
PixelRect panelOn(const Monitor& monitor) {
    return {monitor.x + (monitor.width - panelWidth) / 2, monitor.y, panelWidth, panelHeight};
}

bool isClosedAt(const Image& image, int x) {
    const int width = image.blackRunWidth(closedRow, x);
    return width >= closedNarrowest && width <= closedWidest && !image.isBlack(x, openRow);
}

bool isOpenAt(const Image& image, int x) {
    const int width = image.blackRunWidth(openRow, x);
    return width >= openNarrowest && width <= openWidest;
}

std::string describe(const Image& image) {
    std::string text;
    for (const int row : {closedRow, openRow}) {
        text += "black in row " + std::to_string(row) + ":";
        for (const Run& run : image.blackRuns(row)) {
            text += " " + std::to_string(run.width) + " from " + std::to_string(run.x);
        }
        text += "\n";
    }
    return text;
}

std::vector<PixelRect> frames(const std::vector<WindowInfo>& windows) {
    std::vector<PixelRect> result;
    for (const WindowInfo& window : windows) {
        result.push_back(window.frame);
    }
    return result;
}

// The application with a home, configuration and runtime folder of its own.
class OrletHome {
public:
    OrletHome() {
        std::filesystem::create_directories(runtime());
        ::chmod(runtime().c_str(), 0700);
    }

    std::filesystem::path runtime() const { return folder_.path() / "run"; }

    void writeDefaults(const std::string& json) const {
        const std::filesystem::path config = folder_.path() / "config" / "orlet";
        std::filesystem::create_directories(config);
        std::ofstream(config / "defaults.json") << json;
    }

    std::unique_ptr<BackgroundProcess> start(const XDesktop& desktop,
                                             std::vector<std::string> arguments = {},
                                             Environment extra = {}) const {
        arguments.insert(arguments.begin(), ORLET_APP_PATH);
        Environment environment = this->environment();
        environment.insert(extra.begin(), extra.end());
        environment["QT_QPA_PLATFORM"] = "xcb";
        environment["ORLET_REPORT_STARTUP"] = "1";
        return desktop.launch(arguments, environment);
    }

    // What the application and the helper share: the home (and so the socket) and settings.
    Environment environment() const {
        return {{"HOME", folder_.path().string()},
                {"XDG_CONFIG_HOME", (folder_.path() / "config").string()},
                {"XDG_RUNTIME_DIR", runtime().string()},
                {"PATH", "/usr/bin:/bin"}};
    }

    const std::filesystem::path& path() const { return folder_.path(); }

private:
    TemporaryDirectory folder_;
};

class NotchDesktop : public ::testing::Test {
protected:
    std::vector<WindowInfo> notches() const { return desktop_->windowsNamed("Orlet"); }

    std::string shownNotches() const {
        return "notch windows: " + ::testing::PrintToString(frames(notches())) + "\n";
    }

    bool waitForNotches(std::size_t count) const {
        return eventually([&] { return notches().size() == count; });
    }

    Image screenshot() {
        return desktop_->screenshot(home_.path() / ("screen-" + std::to_string(++shots_) + ".png"));
    }

    // Takes screenshots until one shows what `wanted` looks for; false if none did in time.
    // `last` keeps the final one for the checks and messages that follow.
    bool waitForScreen(const std::function<bool(const Image&)>& wanted, Image& last) {
        return eventually([&] {
            last = screenshot();
            return wanted(last);
        });
    }

    std::unique_ptr<XDesktop> desktop_;
    OrletHome home_;
    int shots_ = 0;
};

// Xorg with the dummy driver, split into a primary monitor and one to its right.
class TwoMonitorDesktop : public NotchDesktop {
protected:
    void SetUp() override {
        if (const auto missing = XDesktop::missingTools(true)) {
            GTEST_SKIP() << "no dummy Xorg: " << *missing;
        }
        desktop_ = XDesktop::startXorgDummy({leftMonitor, rightMonitor});
    }
};

class OneMonitorDesktop : public NotchDesktop {
protected:
    void SetUp() override {
        if (const auto missing = XDesktop::missingTools(false)) {
            GTEST_SKIP() << "no Xvfb: " << *missing;
        }
        desktop_ = XDesktop::startXvfb(screen.width, screen.height);
    }

    const Monitor screen{"screen", 0, 0, 1440, 900, true};
};

TEST_F(TwoMonitorDesktop, EachMonitorHasANotchThatOpensUnderThePointerAndClosesWhenItLeaves) {
    desktop_->startCompositor();
    const auto orlet = home_.start(*desktop_);
    ASSERT_TRUE(waitForNotches(2)) << shownNotches() << orlet->err();
    EXPECT_THAT(frames(notches()),
                UnorderedElementsAre(panelOn(leftMonitor), panelOn(rightMonitor)));

    Image image;
    ASSERT_TRUE(waitForScreen(
        [](const Image& shown) {
            return isClosedAt(shown, middle(leftMonitor)) &&
                   isClosedAt(shown, middle(rightMonitor));
        },
        image))
        << describe(image);

    for (const auto& [hovered, other] :
         {std::pair(leftMonitor, rightMonitor), std::pair(rightMonitor, leftMonitor)}) {
        SCOPED_TRACE("hovering the notch of " + hovered.name);
        desktop_->movePointer(middle(hovered), 10);
        ASSERT_TRUE(waitForScreen(
            [&](const Image& shown) { return isOpenAt(shown, middle(hovered)); }, image))
            << describe(image) << orlet->err();
        EXPECT_TRUE(isClosedAt(image, middle(other))) << describe(image);

        desktop_->movePointer(middle(hovered), 600);
        EXPECT_TRUE(waitForScreen(
            [&](const Image& shown) {
                return isClosedAt(shown, middle(hovered)) && isClosedAt(shown, middle(other));
            },
            image))
            << describe(image);
    }
}

TEST_F(OneMonitorDesktop, ClicksBesideTheBodyReachTheWindowBelowAndClicksOnItDoNot) {
    // With a compositor the window keeps its full size: only its input shape lets clicks by.
    desktop_->startCompositor();
    const auto recorder = desktop_->launch(
        {ORLET_CLICK_RECORDER_PATH, "0", "0", std::to_string(screen.width), "300"});
    ASSERT_TRUE(recorder->waitForOut("ready\n")) << recorder->err();
    const auto orlet = home_.start(*desktop_);
    ASSERT_TRUE(waitForNotches(1)) << shownNotches() << orlet->err();
    const WindowInfo panel = notches().front();
    ASSERT_EQ(panel.frame, panelOn(screen));
    EXPECT_TRUE(eventually([&] { return desktop_->inputRegion(panel.id).empty(); }));

    const int besideX = panel.frame.x + 30;
    const int besideY = 150;
    desktop_->click(besideX, besideY);
    const std::string besidePress =
        "press " + std::to_string(besideX) + " " + std::to_string(besideY) + "\n";
    EXPECT_TRUE(recorder->waitForOut(besidePress)) << recorder->out();

    // Over the body the window takes input where the notch reacts, and the click is its own.
    const int bodyX = middle(screen);
    desktop_->movePointer(bodyX, 10);
    ASSERT_TRUE(eventually([&] { return !desktop_->inputRegion(panel.id).empty(); }));
    const std::vector<PixelRect> region = desktop_->inputRegion(panel.id);
    EXPECT_TRUE(std::any_of(region.begin(), region.end(), [&](const PixelRect& rect) {
        return rect.contains(bodyX - panel.frame.x, 10);
    }));
    desktop_->click(bodyX, 10);

    // A click far from the notch reaches the recorder after the one on the body would have.
    const int awayX = screen.width - 40;
    const int awayY = 280;
    desktop_->movePointer(awayX, awayY);
    ASSERT_TRUE(eventually([&] { return desktop_->inputRegion(panel.id).empty(); }));
    desktop_->click(awayX, awayY);
    const std::string awayPress =
        "press " + std::to_string(awayX) + " " + std::to_string(awayY) + "\n";
    ASSERT_TRUE(recorder->waitForOut(awayPress)) << recorder->out();
    EXPECT_EQ(recorder->out(), "ready\n" + besidePress + awayPress);
}

TEST_F(TwoMonitorDesktop, WithoutShowOnAllDisplaysOnlyThePrimaryMonitorHasANotch) {
    home_.writeDefaults(R"({"showOnAllDisplays": false})");
    const auto orlet = home_.start(*desktop_);
    // Every window exists before the first frame; the screenshot makes sure it reached the
    // server.
    ASSERT_TRUE(orlet->waitForErr("first frame")) << orlet->err();
    Image image;
    ASSERT_TRUE(waitForScreen(
        [](const Image& shown) { return isClosedAt(shown, middle(leftMonitor)); }, image))
        << describe(image);
    EXPECT_THAT(frames(notches()), UnorderedElementsAre(panelOn(leftMonitor)));
    EXPECT_FALSE(image.isBlack(middle(rightMonitor), closedRow)) << describe(image);
}

TEST_F(TwoMonitorDesktop, AMonitorThatGoesTakesItsNotchAlongAndOneThatComesGetsAClosedNotch) {
    const auto orlet = home_.start(*desktop_);
    ASSERT_TRUE(waitForNotches(2)) << shownNotches() << orlet->err();

    desktop_->removeMonitor(rightMonitor.name);
    EXPECT_TRUE(eventually([&] {
        return frames(notches()) == std::vector<PixelRect>{panelOn(leftMonitor)};
    })) << shownNotches()
        << orlet->err();

    desktop_->setMonitor(rightMonitor);
    ASSERT_TRUE(waitForNotches(2)) << shownNotches() << orlet->err();
    const std::vector<WindowInfo> windows = notches();
    EXPECT_THAT(frames(windows), UnorderedElementsAre(panelOn(leftMonitor), panelOn(rightMonitor)));
    for (const WindowInfo& window : windows) {
        EXPECT_TRUE(desktop_->inputRegion(window.id).empty());
    }
    Image image;
    EXPECT_TRUE(waitForScreen(
        [](const Image& shown) {
            return isClosedAt(shown, middle(rightMonitor)) &&
                   isClosedAt(shown, middle(leftMonitor));
        },
        image))
        << describe(image);
}

TEST_F(OneMonitorDesktop, WithoutACompositorThePanelCoversNothingButTheBody) {
    ASSERT_FALSE(desktop_->compositorRunning());
    const auto orlet = home_.start(*desktop_);
    ASSERT_TRUE(waitForNotches(1)) << shownNotches() << orlet->err();
    const int x = middle(screen);

    // Clear pixels would show black here: only the body may.
    Image image;
    ASSERT_TRUE(waitForScreen([&](const Image& shown) { return isClosedAt(shown, x); }, image))
        << describe(image);
    EXPECT_EQ(image.blackPixelsOutside({x - closedWidest / 2, 0, closedWidest, 30}), 0)
        << describe(image);
    EXPECT_GT(image.blackPixelsInside({x - 90, 0, 180, 20}), 180 * 20 * 9 / 10);

    desktop_->movePointer(x, 10);
    ASSERT_TRUE(waitForScreen([&](const Image& shown) { return isOpenAt(shown, x); }, image))
        << describe(image) << orlet->err();
    EXPECT_EQ(image.blackPixelsOutside({x - openWidest / 2, 0, openWidest, 200}), 0)
        << describe(image);
}

TEST_F(OneMonitorDesktop, ACompositorThatQuitsLeavesNoBlackPanelBehind) {
    desktop_->startCompositor();
    const auto orlet = home_.start(*desktop_);
    ASSERT_TRUE(waitForNotches(1)) << shownNotches() << orlet->err();
    const int x = middle(screen);
    Image image;
    ASSERT_TRUE(waitForScreen([&](const Image& shown) { return isClosedAt(shown, x); }, image))
        << describe(image);

    desktop_->stopCompositor();
    const PixelRect body{x - closedWidest / 2, 0, closedWidest, 30};
    EXPECT_TRUE(waitForScreen(
        [&](const Image& shown) {
            return isClosedAt(shown, x) && shown.blackPixelsOutside(body) == 0;
        },
        image))
        << describe(image) << orlet->err();

    desktop_->startCompositor();
    desktop_->movePointer(x, 10);
    EXPECT_TRUE(waitForScreen([&](const Image& shown) { return isOpenAt(shown, x); }, image))
        << describe(image) << orlet->err();
}

TEST_F(OneMonitorDesktop, ASecondStartHandsItsURLToTheRunningOneAndExits) {
    const auto first = home_.start(*desktop_);
    ASSERT_TRUE(waitForNotches(1)) << shownNotches() << first->err();

    const auto second = home_.start(*desktop_, {"orlet://expand"});
    const auto exit = second->waitForExit(10s);
    ASSERT_TRUE(exit) << "the second start is still running\n" << second->err();
    EXPECT_EQ(exit->code, 0) << second->err();

    ASSERT_TRUE(first->waitForErr("orlet://expand")) << first->err();
    const std::string log = first->err();
    const std::size_t url = log.find("orlet://expand");
    const std::size_t start = log.rfind('\n', url) + 1; // npos + 1: the first line
    const std::string line = log.substr(start, log.find('\n', url) - start);
    EXPECT_THAT(line, ::testing::HasSubstr("Ignoring URL command"));
    EXPECT_TRUE(first->running());
    EXPECT_EQ(notches().size(), 1u);
}

TEST_F(OneMonitorDesktop, AnInterruptOrATerminationQuitsCleanly) {
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(::strsignal(signal));
        const auto orlet = home_.start(*desktop_);
        ASSERT_TRUE(waitForNotches(1)) << shownNotches() << orlet->err();

        orlet->signal(signal);
        const auto exit = orlet->waitForExit(10s);
        ASSERT_TRUE(exit) << "still running\n" << orlet->err();
        EXPECT_EQ(exit->code, 0) << orlet->err();
        EXPECT_EQ(exit->signal, 0);
        EXPECT_TRUE(notches().empty());
        // The next start must not find a socket nobody answers.
        EXPECT_FALSE(std::filesystem::exists(home_.runtime() / "orlet-instance"));
    }
}

// The whole road of a coding agent's report: hook → helper → socket → center → notch.
TEST_F(OneMonitorDesktop, AgentHooksAndNotificationsTravelFromTheHelperToTheNotch) {
    // The helper is named after the first application among its ancestors, else by its path;
    // this test stands in for the user who allowed it earlier.
    const ClientIdentity self = ClientIdentifier::shared().identify(::getpid());
    const std::string id = self.id.starts_with("path:")
                               ? "path:" + std::filesystem::canonical(ORLET_HELPER_PATH).string()
                               : self.id;
    {
        const std::filesystem::path config = home_.path() / "config" / "orlet";
        std::filesystem::create_directories(config);
        DefaultsStore store(QString::fromStdString((config / "defaults.json").string()));
        const QJsonArray apps{QJsonObject{{"id", QString::fromStdString(id)},
                                          {"name", QStringLiteral("Tests")},
                                          {"allowed", true}}};
        store.set(QStringLiteral("activity.apps"),
                  QJsonDocument(apps).toJson(QJsonDocument::Compact));
    }
    const auto orlet =
        home_.start(*desktop_, {}, {{"QT_LOGGING_RULES", "com.brambleowl.orlet.app.debug=true"}});
    ASSERT_TRUE(orlet->waitForErr("API listening on " + home_.path().string() +
                                  "/Library/Application Support/Orlet/orlet.sock"))
        << orlet->err();

    const auto hook = [&](const std::string& event, const std::string& extra) {
        const std::string payload =
            R"({"session_id":"5d1f0c3e-aa21-4c1b-9f0e-3b7e2d9a1c44","transcript_path":"/home/me/.claude/projects/x.jsonl","cwd":"/home/me/src/orlet","hook_event_name":")" +
            event + "\"" + extra + "}";
        const ChildProcess::Result result = ChildProcess::run(
            {ORLET_HELPER_PATH, "agent-hook", "claude"}, home_.environment(), payload);
        EXPECT_EQ(result.exitCode, 0) << event;
        EXPECT_EQ(result.out, "") << event;
        EXPECT_EQ(result.err, "") << event;
    };
    const std::string activity = id + "/claude-5d1f0c3e-aa2";
    hook("UserPromptSubmit", R"(,"prompt":"Make the tests pass")");
    EXPECT_TRUE(orlet->waitForErr("Activity " + activity + " started")) << orlet->err();
    hook("PreToolUse", R"(,"tool_name":"Bash","tool_input":{"command":"make test"})");
    hook("Notification", R"(,"message":"Claude needs your permission to use Bash")");
    EXPECT_TRUE(orlet->waitForErr("Pop-up from " + id + " : Needs you")) << orlet->err();
    hook("PostToolUse", "");
    hook("Stop", "");
    EXPECT_TRUE(orlet->waitForErr("Activity " + activity + " ended as done")) << orlet->err();
    EXPECT_TRUE(orlet->waitForErr("Pop-up from " + id + " : Done \u00b7 ")) << orlet->err();

    const ChildProcess::Result notified =
        ChildProcess::run({ORLET_HELPER_PATH, "notify", "--severity", "success", "Backup finished"},
                          home_.environment());
    EXPECT_EQ(notified.exitCode, 0) << notified.err;
    EXPECT_TRUE(orlet->waitForErr("Pop-up from " + id + " : Backup finished")) << orlet->err();
    // The closed notch grows for the pop-up.
    Image image;
    EXPECT_TRUE(waitForScreen(
        [&](const Image& shown) {
            for (const auto& run : shown.blackRuns(closedRow)) {
                if (run.width > closedWidest + 150) {
                    return true;
                }
            }
            return false;
        },
        image))
        << describe(image);
}

} // namespace
} // namespace orlet::test
