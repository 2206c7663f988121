// The real program on a virtual display with a local calendar holding a meeting three minutes
// ahead: the reminder pops at once in the closed notch.
#include "TemporaryDirectory.h"
#include "XDesktop.h"

#include <QByteArray>
#include <QDateTime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace orlet::test {
namespace {

using namespace std::chrono_literals;

// Inside the closed notch body; the closed notch is about 190 wide plus its ears.
constexpr int closedRow = 5;
constexpr int closedWidest = 208;

void write(const std::filesystem::path& path, const QByteArray& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), bytes.size());
}

QByteArray utc(const QDateTime& time) {
    return time.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
}

TEST(CalendarOnTheDesktop, AMeetingThreeMinutesAheadPopsInThreeMinInTheClosedNotch) {
    if (const auto missing = XDesktop::missingTools(false)) {
        GTEST_SKIP() << "no Xvfb: " << *missing;
    }
    const auto desktop = XDesktop::startXvfb(1440, 900);
    TemporaryDirectory home;
    const std::filesystem::path runtime = home.path() / "run";
    std::filesystem::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);

    // Ten seconds of slack for a slow start still round to three minutes.
    const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(190);
    write(
        home.path() / ".local/share/evolution/calendar/system/calendar.ics",
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Tests//EN\r\n"
        "BEGIN:VEVENT\r\nUID:review@example.com\r\nSUMMARY:Design review\r\n"
        "DTSTART:" +
            utc(start) + "\r\nDTEND:" + utc(start.addSecs(1800)) +
            "\r\nLOCATION:https://meet.google.com/abc-defg-hij\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");

    const auto orlet = desktop->launch(
        {ORLET_APP_PATH}, {{"HOME", home.path().string()},
                           {"XDG_CONFIG_HOME", (home.path() / "config").string()},
                           {"XDG_RUNTIME_DIR", runtime.string()},
                           {"QT_QPA_PLATFORM", "xcb"},
                           {"QT_LOGGING_RULES", "com.brambleowl.orlet.app.debug=true"}});

    ASSERT_TRUE(orlet->waitForErr("Meeting reminder for Design review : In 3 min", 60s))
        << orlet->err();

    // The closed notch grows for the pop-up.
    int shots = 0;
    std::string seen;
    EXPECT_TRUE(eventually(
        [&] {
            const Image image =
                desktop->screenshot(home.path() / ("screen-" + std::to_string(++shots) + ".png"));
            seen.clear();
            for (const test::Run& run : image.blackRuns(closedRow)) {
                seen += " " + std::to_string(run.width);
                if (run.width > closedWidest + 100) {
                    return true;
                }
            }
            return false;
        },
        20s))
        << "black runs:" << seen;
}

} // namespace
} // namespace orlet::test
