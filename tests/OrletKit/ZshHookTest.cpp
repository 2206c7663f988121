#include "ChildProcess.h"
#include "FakeOrlet.h"
#include "OrletKit/ActivityMessage.h"
#include "OrletKit/Connector.h"
#include "TemporaryDirectory.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace orlet {
namespace {

namespace fs = std::filesystem;
using test::ChildProcess;
using test::FakeOrlet;

// A real interactive zsh in tmux, set up by the terminal connector, reporting to a stand-in
// application.
class ZshInTmux : public testing::Test {
protected:
    void SetUp() override {
        server_ = "orlet-test-" + std::to_string(::getpid());
        fs::create_directories(home_ / "bin");
        // Stands in for an editor: interactive by name, and slow enough to be reported if it
        // were not.
        const fs::path vim = home_ / "bin/vim";
        std::ofstream(vim) << "#!/bin/sh\nsleep 2\n";
        fs::permissions(vim, fs::perms::owner_all);
        std::ofstream(home_ / ".zshrc") << "PROMPT='READY> '\n";
    }

    void TearDown() override { tmux({"kill-server"}); }

    ChildProcess::Result tmux(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"tmux", "-L", server_, "-f", "/dev/null"});
        return ChildProcess::run(arguments, {{"PATH", "/usr/bin:/bin"}, {"TMUX_TMPDIR", "/tmp"}});
    }

    void type(const std::string& keys) const { tmux({"send-keys", "-t", "t", keys, "Enter"}); }

    // Polls the screen of the shell, which runs on its own schedule.
    bool screenShows(const std::string& text, int seconds) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (tmux({"capture-pane", "-p", "-t", "t"}).out.find(text) != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    test::TemporaryDirectory directory_;
    const fs::path& home_ = directory_.path();
    std::string server_;
};

TEST_F(ZshInTmux, ReportsLongCommandsOnceAndInteractiveOnesNever) {
    FakeOrlet orlet((home_ / "Library/Application Support/Orlet/orlet.sock").string());
    Connector(Connector::Tool::terminal)
        .connect(fs::canonical(ORLET_HELPER_PATH).string(), Connector::Home{home_});

    const std::string shell = "env -i HOME=" + home_.string() + " ZDOTDIR=" + home_.string() +
                              " PATH=" + (home_ / "bin").string() +
                              ":/usr/bin:/bin TERM=xterm ORLET_MIN_SECONDS=1 zsh -i";
    const auto started = tmux({"new-session", "-d", "-s", "t", "-x", "160", "-y", "40", shell});
    ASSERT_EQ(started.exitCode, 0) << started.err;
    ASSERT_TRUE(screenShows("READY>", 20)) << tmux({"capture-pane", "-p", "-t", "t"}).out;

    type("sleep 2");
    type("vim notes.txt");
    type("true");
    type("sleep 2 && echo marker");

    const std::vector<std::string> lines = orlet.waitForLines(2, 60);
    ASSERT_EQ(lines.size(), 2u) << tmux({"capture-pane", "-p", "-t", "t"}).out;
    const auto first = ActivityMessage::decode(lines[0]);
    const auto second = ActivityMessage::decode(lines[1]);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->type, "notify");
    EXPECT_TRUE(first->message->starts_with("sleep 2 finished \u00b7 ")) << *first->message;
    EXPECT_EQ(first->severity, "success");
    EXPECT_TRUE(second->message->starts_with("sleep 2 && echo marker finished \u00b7 "))
        << *second->message;

    // Everything the shell started has been delivered by now: the editor never was.
    std::size_t total = 0;
    for (const std::string& bytes : orlet.settle()) {
        total += static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
    }
    EXPECT_EQ(total, 2u);
}

} // namespace
} // namespace orlet
