#include "Activity/ClientIdentifier.h"
#include "Platform/DesktopEntries.h"
#include "Platform/ProcessInfo.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <optional>

namespace orlet {
namespace {

// Failure messages name a case by its sentence.
template <typename Case>
requires requires(const Case& c) {
    c.sentence;
}
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.sentence;
}

namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// The parent pid in stat files.

struct StatCase {
    const char* sentence;
    const char* stat;
    std::optional<pid_t> parent;
};

class ProcessStat : public ::testing::TestWithParam<StatCase> {};

TEST_P(ProcessStat, ReadsTheParentPid) {
    EXPECT_EQ(ProcessInfo::parentPidOfStat(GetParam().stat), GetParam().parent);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProcessStat,
    ::testing::Values(
        StatCase{"a plain command", "4242 (bash) S 4100 4242 4242 34816 0 4194304\n", 4100},
        StatCase{"a command with spaces and parentheses",
                 "77 (tmux: server (1)) S 1 77 77 0 -1 4194560\n", 1},
        StatCase{"a command that imitates the fields after it", "9 (x) S 5 ) R 31 9 9 0 -1\n", 31},
        StatCase{"an empty command name", "12 () R 11 12 12\n", 11},
        StatCase{"no closing parenthesis", "12 (broken S 11 12\n", std::nullopt},
        StatCase{"too few fields", "12 (short) S\n", std::nullopt},
        StatCase{"a parent that is not a number", "12 (x) S 1x 12\n", std::nullopt},
        StatCase{"an empty file", "", std::nullopt}),
    test::SentenceName());

// The application named by a process's cgroup.

struct CgroupCase {
    const char* sentence;
    const char* file; ///< the text of /proc/<pid>/cgroup
    std::optional<std::string> id;
};

class ProcessCgroup : public ::testing::TestWithParam<CgroupCase> {};

TEST_P(ProcessCgroup, NamesTheApplicationOfTheUnit) {
    const std::optional<std::string> path = ProcessInfo::cgroupPathOfFile(GetParam().file);
    EXPECT_EQ(path ? ProcessInfo::applicationIdOfCgroupPath(*path) : std::nullopt, GetParam().id);
}

#define USER_APPS "0::/user.slice/user-1000.slice/user@1000.service/app.slice/"

INSTANTIATE_TEST_SUITE_P(
    Cases, ProcessCgroup,
    ::testing::Values(
        CgroupCase{"GNOME Terminal started by GNOME Shell",
                   USER_APPS "app-gnome-org.gnome.Terminal-4410.scope\n", "org.gnome.Terminal"},
        CgroupCase{"a shell in GNOME Terminal's slice",
                   USER_APPS "app-org.gnome.Terminal.slice/vte-spawn-5f0e61c2-8d4b.scope\n",
                   "org.gnome.Terminal"},
        CgroupCase{"Konsole started by Plasma as a service",
                   USER_APPS "app-org.kde.konsole@a1b2c3d4e5f6.service\n", "org.kde.konsole"},
        CgroupCase{"Konsole started by Plasma in a scope",
                   USER_APPS "app-org.kde.konsole-9f1d6a8c0e2b4d7f.scope\n", "org.kde.konsole"},
        CgroupCase{"a service with a launcher",
                   USER_APPS "app-gnome-org.gnome.Evince@12345.service\n", "org.gnome.Evince"},
        CgroupCase{"a Flatpak application",
                   USER_APPS "app-flatpak-org.mozilla.firefox-83512.scope\n",
                   "org.mozilla.firefox"},
        CgroupCase{"VS Code started from its desktop file", USER_APPS "app-gnome-code-7321.scope\n",
                   "code"},
        CgroupCase{"a dash inside the desktop id is escaped",
                   USER_APPS "app-gnome-google\\x2dchrome-2210.scope\n", "google-chrome"},
        CgroupCase{"an unescaped dash is taken as part of the id after a launcher",
                   USER_APPS "app-gnome-google-chrome-2210.scope\n", "google-chrome"},
        CgroupCase{"a plain terminal session", "0::/user.slice/user-1000.slice/session-2.scope\n",
                   std::nullopt},
        CgroupCase{"the user's service manager",
                   "0::/user.slice/user-1000.slice/user@1000.service/init.scope\n", std::nullopt},
        CgroupCase{"the user's service manager itself",
                   "0::/user.slice/user-1000.slice/user@1000.service\n", std::nullopt},
        CgroupCase{"a plain user service", USER_APPS "pipewire.service\n", std::nullopt},
        CgroupCase{"a legacy hierarchy names systemd's tree",
                   "11:pids:/user.slice\n1:name=systemd:/user.slice/user-1000.slice/"
                   "user@1000.service/app.slice/app-gnome-org.gnome.Terminal-4410.scope\n",
                   "org.gnome.Terminal"},
        CgroupCase{"a hybrid hierarchy with an empty unified path",
                   "1:name=systemd:/user.slice/user-1000.slice/user@1000.service/app.slice/"
                   "app-gnome-code-7321.scope\n0::/\n",
                   "code"},
        CgroupCase{"a container sees no units", "0::/\n", std::nullopt},
        CgroupCase{"an empty file", "", std::nullopt}),
    test::SentenceName());

TEST(ProcessUnitNames, UnescapeSystemdEscapes) {
    EXPECT_EQ(ProcessInfo::unescapedUnitName("google\\x2dchrome"), "google-chrome");
    EXPECT_EQ(ProcessInfo::unescapedUnitName("a\\x2Fb\\x5c"), "a/b\\");
    EXPECT_EQ(ProcessInfo::unescapedUnitName("bad\\xZZ\\x2"), "bad\\xZZ\\x2");
}

// Desktop entries.

struct DataDirectoriesCase {
    const char* sentence;
    const char* dataHome;
    const char* dataDirs;
    std::vector<std::string> expected;
};

class DesktopDataDirectories : public ::testing::TestWithParam<DataDirectoriesCase> {};

TEST_P(DesktopDataDirectories, FollowTheBaseDirectoryRules) {
    const auto& c = GetParam();
    std::vector<std::string> directories;
    for (const auto& directory :
         DesktopEntries::dataDirectories(c.dataHome, c.dataDirs, "/home/me")) {
        directories.push_back(directory.string());
    }
    EXPECT_EQ(directories, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DesktopDataDirectories,
    ::testing::Values(
        DataDirectoriesCase{"defaults when nothing is set",
                            nullptr,
                            nullptr,
                            {"/home/me/.local/share", "/usr/local/share", "/usr/share",
                             "/home/me/.local/share/flatpak/exports/share",
                             "/var/lib/flatpak/exports/share"}},
        DataDirectoriesCase{"set variables and empty ones",
                            "/data/home",
                            "",
                            {"/data/home", "/usr/local/share", "/usr/share",
                             "/home/me/.local/share/flatpak/exports/share",
                             "/var/lib/flatpak/exports/share"}},
        DataDirectoriesCase{"relative entries are ignored, duplicates kept once",
                            "relative/home",
                            "/opt/share/:relative::/usr/share:/usr/share/:/var/lib/flatpak/"
                            "exports/share",
                            {"/home/me/.local/share", "/opt/share", "/usr/share",
                             "/var/lib/flatpak/exports/share",
                             "/home/me/.local/share/flatpak/exports/share"}}),
    test::SentenceName());

struct EntryCase {
    const char* sentence;
    std::map<std::string, std::string> files; ///< relative to the temporary folder
    const char* desktopId;
    std::optional<std::string> path; ///< relative, when found
    std::string name;
    std::string icon;
};

class DesktopEntryLookup : public ::testing::TestWithParam<EntryCase> {};

TEST_P(DesktopEntryLookup, FindsInstalledEntries) {
    const auto& c = GetParam();
    test::TemporaryDirectory root;
    for (const auto& [relative, text] : c.files) {
        writeFile(root.path() / relative, text);
    }
    const DesktopEntries entries({root.path() / "home", root.path() / "system"});
    const auto entry = entries.find(c.desktopId);
    if (!c.path) {
        EXPECT_EQ(entry, std::nullopt);
        return;
    }
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(*entry, (DesktopEntry{c.desktopId, root.path() / *c.path, c.name, c.icon}));
}

const char* const kTerminal =
    "[Desktop Entry]\nType=Application\nName=Terminal\n"
    "Name[de]=Terminal DE\nIcon=org.gnome.Terminal\nExec=gnome-terminal\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, DesktopEntryLookup,
    ::testing::Values(
        EntryCase{"an installed entry gives its name and icon",
                  {{"system/applications/org.gnome.Terminal.desktop", kTerminal}},
                  "org.gnome.Terminal",
                  "system/applications/org.gnome.Terminal.desktop",
                  "Terminal",
                  "org.gnome.Terminal"},
        EntryCase{"the user's own entry comes first",
                  {{"system/applications/code.desktop", "[Desktop Entry]\nName=Code\n"},
                   {"home/applications/code.desktop", "[Desktop Entry]\nName=My Code\n"}},
                  "code",
                  "home/applications/code.desktop",
                  "My Code",
                  ""},
        EntryCase{"a hidden entry hides the application",
                  {{"system/applications/code.desktop", "[Desktop Entry]\nName=Code\n"},
                   {"home/applications/code.desktop", "[Desktop Entry]\nHidden=true\n"}},
                  "code",
                  std::nullopt,
                  "",
                  ""},
        EntryCase{"only the main group's unlocalised keys count",
                  {{"system/applications/firefox.desktop",
                    "# Name=Comment\n[Desktop Action new-window]\nName=New Window\nIcon=x\n"
                    "[Desktop Entry]\nName[fr]=Navigateur\n Name = Firefox Web Browser \n"
                    "Name=Second\nIcon=/opt/firefox/icon.png\n"}},
                  "firefox",
                  "system/applications/firefox.desktop",
                  "Firefox Web Browser",
                  "/opt/firefox/icon.png"},
        EntryCase{"escapes in values are undone",
                  {{"system/applications/tool.desktop", "[Desktop Entry]\nName=\\sTwo\\\\Words\n"}},
                  "tool",
                  "system/applications/tool.desktop",
                  " Two\\Words",
                  ""},
        EntryCase{"a dash may stand for a subfolder",
                  {{"system/applications/kde/konsole.desktop", "[Desktop Entry]\nName=Konsole\n"}},
                  "kde-konsole",
                  "system/applications/kde/konsole.desktop",
                  "Konsole",
                  ""},
        EntryCase{"a missing entry is none", {}, "org.gnome.Terminal", std::nullopt, "", ""},
        EntryCase{"an id cannot leave the folder",
                  {{"system/secret.desktop", "[Desktop Entry]\nName=Secret\n"}},
                  "../secret",
                  std::nullopt,
                  "",
                  ""},
        EntryCase{"an empty id is none",
                  {{"system/applications/.desktop", "[Desktop Entry]\nName=Nothing\n"}},
                  "",
                  std::nullopt,
                  "",
                  ""}),
    test::SentenceName());

// Walking from a client to its application.

struct FakeProcess {
    pid_t pid;
    pid_t parent;
    std::string unit; ///< last component of the cgroup path; empty: a session scope
    std::string executable = "/usr/bin/bash";
};

struct IdentifyCase {
    const char* sentence;
    std::vector<FakeProcess> processes;
    std::map<std::string, std::string> entries; ///< desktop id → file text, in the data dir
    pid_t client;
    ClientIdentity expected; ///< bundlePath relative to the data dir
};

// A chain of `count` processes from pid 1000 (the client) upwards, the last one in `unit`.
std::vector<FakeProcess> chain(int count, const std::string& unit) {
    std::vector<FakeProcess> processes;
    for (int i = 0; i < count; ++i) {
        processes.push_back({1000 + i, i + 1 < count ? 1000 + i + 1 : 1, i + 1 < count ? "" : unit,
                             "/usr/bin/bash"});
    }
    processes.front().executable = "/usr/local/bin/orlet";
    return processes;
}

class ClientIdentification : public ::testing::TestWithParam<IdentifyCase> {};

TEST_P(ClientIdentification, NamesTheNearestApplication) {
    const auto& c = GetParam();
    test::TemporaryDirectory root;
    const fs::path proc = root.path() / "proc";
    const fs::path data = root.path() / "share";
    for (const FakeProcess& process : c.processes) {
        const fs::path folder = proc / std::to_string(process.pid);
        // A command name that trips a naive parser.
        writeFile(folder / "stat", std::to_string(process.pid) + " (a (b) c) S " +
                                       std::to_string(process.parent) + " 1 1 0 -1 4194304\n");
        const std::string unit = process.unit.empty() ? "session-2.scope" : process.unit;
        writeFile(folder / "cgroup",
                  "0::/user.slice/user-1000.slice/user@1000.service/app.slice/" + unit + "\n");
        if (!process.executable.empty()) {
            fs::create_symlink(process.executable, folder / "exe");
        }
    }
    for (const auto& [id, text] : c.entries) {
        writeFile(data / "applications" / (id + ".desktop"), text);
    }
    const ProcessInfo processes(proc);
    const DesktopEntries entries({data});
    ClientIdentity expected = c.expected;
    if (expected.bundlePath) {
        expected.bundlePath = (data / *expected.bundlePath).string();
    }
    EXPECT_EQ(ClientIdentifier(processes, entries).identify(c.client), expected);
}

const std::map<std::string, std::string> kTerminalInstalled{
    {"org.gnome.Terminal", "[Desktop Entry]\nName=Terminal\n"}};
const ClientIdentity kTerminalIdentity{"org.gnome.Terminal", "Terminal",
                                       "applications/org.gnome.Terminal.desktop"};
const ClientIdentity kUnknown{"unknown", "Unknown app", std::nullopt};
const ClientIdentity kOrletPath{"path:/usr/local/bin/orlet", "orlet", std::nullopt};

INSTANTIATE_TEST_SUITE_P(
    Cases, ClientIdentification,
    ::testing::Values(
        IdentifyCase{"a helper run by an agent in a terminal is the terminal",
                     {{300, 250, "", "/usr/local/bin/orlet"},
                      {250, 200, "", "/usr/bin/node"},
                      {200, 100, "app-gnome-org.gnome.Terminal-200.scope"},
                      {100, 1, ""}},
                     kTerminalInstalled,
                     300,
                     kTerminalIdentity},
        IdentifyCase{"the client itself may be the application",
                     {{300, 1, "app-gnome-code-300.scope"}},
                     {{"code", "[Desktop Entry]\nName=Visual Studio Code\nIcon=vscode\n"}},
                     300,
                     {"code", "Visual Studio Code", "applications/code.desktop"}},
        IdentifyCase{
            "a Flatpak application is found by its id",
            {{300, 200, ""}, {200, 1, "app-flatpak-com.visualstudio.code-200.scope"}},
            {{"com.visualstudio.code", "[Desktop Entry]\nName=Code\n"}},
            300,
            {"com.visualstudio.code", "Code", "applications/com.visualstudio.code.desktop"}},
        IdentifyCase{"an application without an installed entry is passed over",
                     {{300, 200, "app-gnome-my\\x2dscript-300.scope"},
                      {200, 1, "app-gnome-org.gnome.Terminal-200.scope"}},
                     kTerminalInstalled,
                     300,
                     kTerminalIdentity},
        IdentifyCase{"an entry without a name is named by its id",
                     {{300, 1, "app-gnome-code-300.scope"}},
                     {{"code", "[Desktop Entry]\nIcon=vscode\n"}},
                     300,
                     {"code", "code", "applications/code.desktop"}},
        IdentifyCase{"the sixteenth process is still examined",
                     chain(16, "app-gnome-org.gnome.Terminal-1015.scope"), kTerminalInstalled, 1000,
                     kTerminalIdentity},
        IdentifyCase{"the seventeenth process is not",
                     chain(17, "app-gnome-org.gnome.Terminal-1016.scope"), kTerminalInstalled, 1000,
                     kOrletPath},
        IdentifyCase{
            "the walk ends below pid 1",
            {{300, 1, "", "/usr/local/bin/orlet"}, {1, 0, "app-gnome-org.gnome.Terminal-1.scope"}},
            kTerminalInstalled,
            300,
            kOrletPath},
        IdentifyCase{"a loop in the parent chain ends after sixteen processes",
                     {{300, 300, "", "/usr/local/bin/orlet"}},
                     kTerminalInstalled,
                     300,
                     kOrletPath},
        IdentifyCase{"a parent that cannot be read ends the walk",
                     {{300, 250, "", "/usr/local/bin/orlet"}},
                     kTerminalInstalled,
                     300,
                     kOrletPath},
        IdentifyCase{"an executable that cannot be read is unknown",
                     {{300, 1, "", ""}},
                     {},
                     300,
                     {"path:unknown", "unknown", std::nullopt}},
        IdentifyCase{"invalid UTF-8 in the executable path is repaired",
                     {{300, 1, "",
                       "/opt/b\xff"
                       "d/tool"}},
                     {},
                     300,
                     {"path:/opt/b\xef\xbf\xbd"
                      "d/tool",
                      "tool", std::nullopt}},
        IdentifyCase{"a replaced executable keeps its name",
                     {{300, 1, "", "/usr/local/bin/orlet (deleted)"}},
                     {},
                     300,
                     kOrletPath},
        IdentifyCase{"a pid of 0 is unknown",
                     {{0, 1, "app-gnome-org.gnome.Terminal-1.scope"}},
                     kTerminalInstalled,
                     0,
                     kUnknown},
        IdentifyCase{"a negative pid is unknown", {}, {}, -1, kUnknown}),
    test::SentenceName());

} // namespace
} // namespace orlet
