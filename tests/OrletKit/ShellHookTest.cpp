#include "OrletKit/ShellHook.h"

#include "TestNames.h"

#include <gtest/gtest.h>

namespace orlet {
namespace {

struct ReportCase {
    const char* command;
    bool reported;
};

class ShellHookShouldReport : public testing::TestWithParam<ReportCase> {};

TEST_P(ShellHookShouldReport, SkipsInteractiveProgramsOnly) {
    EXPECT_EQ(ShellHook::shouldReport(GetParam().command), GetParam().reported)
        << "\"" << GetParam().command << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShellHookShouldReport,
    testing::Values(ReportCase{"vim notes.txt", false}, ReportCase{"FOO=1 less log", false},
                    ReportCase{"time htop", false}, ReportCase{"tail -f log", false},
                    ReportCase{"python", false}, ReportCase{"node", false}, ReportCase{"", false},
                    ReportCase{"    ", false}, ReportCase{"make", true},
                    ReportCase{"sudo make install", true}, ReportCase{"tail -n 5 log", true},
                    ReportCase{"python train.py", true}, ReportCase{"npm test", true},
                    ReportCase{"/usr/bin/make -j8", true}, ReportCase{"journalctl -f -u x", false},
                    ReportCase{"journalctl -u x", true}, ReportCase{"/usr/bin/vim x", false},
                    ReportCase{"A=1 B=2 nice command vim", false},
                    ReportCase{"nice -n 5 vim", true}, // options of prefix words are not skipped
                    ReportCase{"FOO=1 BAR=2", false}, ReportCase{"time", false},
                    ReportCase{"tail -F log", true}, ReportCase{"  make   -j2  ", true},
                    ReportCase{"node server.js", true}, ReportCase{"ssh host uptime", false}),
    [](const auto& info) { return test::caseName(info.index, info.param.command); });

struct MessageCase {
    const char* sentence;
    const char* command;
    std::int32_t status;
    std::int64_t seconds;
    const char* text;
    const char* severity;
};

class ShellHookMessage : public testing::TestWithParam<MessageCase> {};

TEST_P(ShellHookMessage, SaysHowTheCommandEnded) {
    const MessageCase& c = GetParam();
    const ActivityMessage message = ShellHook::message(c.command, c.status, c.seconds);
    EXPECT_EQ(message.type, "notify");
    EXPECT_EQ(message.message, c.text) << c.sentence;
    EXPECT_EQ(message.severity, c.severity) << c.sentence;
    ActivityMessage expected("notify");
    expected.message = message.message;
    expected.severity = message.severity;
    EXPECT_EQ(message, expected) << "nothing else is set";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShellHookMessage,
    testing::Values(MessageCase{"success", "make", 0, 42, "make finished \u00b7 42s", "success"},
                    MessageCase{"a failure names the exit status", "make", 2, 95,
                                "make failed (exit 2) \u00b7 1m 35s", "warning"},
                    MessageCase{"an interrupt is a stop", "sleep 100", 130, 3600,
                                "sleep 100 stopped \u00b7 1h 0m", "info"},
                    MessageCase{"a negative status is a failure", "x", -1, 1,
                                "x failed (exit -1) \u00b7 1s", "warning"},
                    MessageCase{"line breaks become single spaces", "make\r\n\nall", 0, 30,
                                "make all finished \u00b7 30s", "success"},
                    MessageCase{
                        "a sixty-character command is cut to forty-eight",
                        "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz12345678", 0, 31,
                        "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstu\u2026 finished \u00b7 31s",
                        "success"}),
    test::SentenceName());

struct DurationCase {
    std::int64_t seconds;
    const char* text;
};

class ShellHookDuration : public testing::TestWithParam<DurationCase> {};

TEST_P(ShellHookDuration, UsesTheShortForm) {
    EXPECT_EQ(ShellHook::duration(GetParam().seconds), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Cases, ShellHookDuration,
                         testing::Values(DurationCase{0, "0s"}, DurationCase{45, "45s"},
                                         DurationCase{59, "59s"}, DurationCase{60, "1m 0s"},
                                         DurationCase{95, "1m 35s"}, DurationCase{200, "3m 20s"},
                                         DurationCase{3599, "59m 59s"}, DurationCase{3600, "1h 0m"},
                                         DurationCase{3900, "1h 5m"},
                                         DurationCase{90061, "25h 1m"}),
                         [](const auto& info) {
                             return test::caseName(info.index, info.param.text);
                         });

TEST(ShellHookZshInit, IsTheExactScriptWithTheQuotedHelperPath) {
    const std::string expected =
        "zmodload zsh/datetime 2>/dev/null\n"
        "typeset -g __orlet_started=0 __orlet_command=\"\"\n"
        "__orlet_preexec() { __orlet_started=$EPOCHREALTIME; __orlet_command=$1 }\n"
        "__orlet_precmd() {\n"
        "  local exit_status=$?\n"
        "  (( __orlet_started > 0 )) || return\n"
        "  local seconds=$(( ${EPOCHREALTIME%.*} - ${__orlet_started%.*} ))\n"
        "  __orlet_started=0\n"
        "  (( seconds >= ${ORLET_MIN_SECONDS:-30} )) || return\n"
        "  '/opt/it'\\''s here/orlet' shell-done --status $exit_status --seconds $seconds -- "
        "\"$__orlet_command\" &>/dev/null &!\n"
        "}\n"
        "autoload -Uz add-zsh-hook\n"
        "add-zsh-hook preexec __orlet_preexec\n"
        "add-zsh-hook precmd __orlet_precmd";
    EXPECT_EQ(ShellHook::zshInit("/opt/it's here/orlet"), expected);
}

} // namespace
} // namespace orlet
