// The end-of-timer sound played for real on a PulseAudio daemon of the test's own.
#include "Today/ThemeSound.h"

#include "PulseServer.h"

#include <QStandardPaths>
#include <gtest/gtest.h>

namespace orlet {
namespace {

TEST(ThemeSoundOnPulseAudio, TheInstalledThemesSoundPlaysToTheEnd) {
    const std::optional<QStringList> command =
        ThemeSound::command(ThemeSound::dataDirsFromEnvironment(), [](const QString& name) {
            return QStandardPaths::findExecutable(name);
        });
    if (!command) {
        GTEST_SKIP() << "no paplay or no freedesktop sound theme (scripts/deps.sh installs both)";
    }
    test::PulseServer pulse;
    ASSERT_TRUE(pulse.ready());
    std::vector<std::string> argv;
    for (const QString& part : *command) {
        argv.push_back(part.toStdString());
    }
    const test::ChildProcess::Result played = test::ChildProcess::run(argv, pulse.environment());
    EXPECT_EQ(played.exitCode, 0) << played.err;
}

} // namespace
} // namespace orlet
