#include "Awake/RunningApplications.h"

#include "Platform/DesktopEntries.h"
#include "Platform/ProcessInfo.h"
#include "QtTestSupport.h"
#include "TemporaryDirectory.h"

#include <fstream>
#include <gtest/gtest.h>

namespace orlet {
namespace {

namespace fs = std::filesystem;

const std::string appSlice = "0::/user.slice/user-1000.slice/user@1000.service/app.slice/";

struct Process {
    pid_t pid;
    pid_t parent;
    std::string command;
    std::string cgroup; ///< the unified hierarchy's path
};

// A /proc tree as a desktop session leaves it, and the applications installed in it.
class RunningApplicationsTest : public testing::Test {
protected:
    void write(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }

    void record(const std::vector<Process>& processes) {
        for (const Process& p : processes) {
            const fs::path dir = proc / std::to_string(p.pid);
            write(dir / "stat", std::to_string(p.pid) + " (" + p.command + ") S " +
                                    std::to_string(p.parent) + " 1 1 0 -1 4194560 0 0 0 0\n");
            write(dir / "cgroup", p.cgroup + "\n");
        }
    }

    void install(const std::string& id, const std::string& body) {
        write(data / "applications" / (id + ".desktop"),
              "[Desktop Entry]\nType=Application\n" + body);
    }

    std::vector<RunningApp> list(pid_t self) {
        return RunningApplications(processes, entries, proc).list(self);
    }

    test::TemporaryDirectory directory;
    fs::path proc = directory.path() / "proc";
    fs::path data = directory.path() / "share";
    ProcessInfo processes{proc};
    DesktopEntries entries{{data}};
};

TEST_F(RunningApplicationsTest, OneEntryPerInstalledNamedApplicationSortedByNameWithoutThisOne) {
    install("firefox", "Name=Firefox\nExec=firefox\n");
    install("org.gnome.Terminal", "Name=Terminal\n");
    install("alpha", "Name=alpha\n");
    install("org.example.Beta", "Name=Beta\n");
    install("org.example.Nameless", "Exec=nameless\n");
    install("orlet", "Name=Orlet\n");
    record({
        {1, 0, "systemd", "0::/init.scope"},
        {900, 1, "systemd", "0::/user.slice/user-1000.slice/user@1000.service/init.scope"},
        // Firefox's content processes are its children: listed once, by the parent.
        {2100, 900, "firefox", appSlice + "app-gnome-firefox-2100.scope"},
        {2150, 2100, "Isolated Web Co", appSlice + "app-gnome-firefox-2100.scope"},
        {2101, 2100, "Socket Process", appSlice + "app-gnome-firefox-2100.scope"},
        // A shell inside the terminal's slice belongs to the terminal.
        {3000, 900, "gnome-terminal-",
         appSlice + "app-org.gnome.Terminal.slice/"
                    "app-org.gnome.Terminal-3000.scope"},
        {3050, 3000, "bash", appSlice + "app-org.gnome.Terminal.slice/vte-spawn-1.scope"},
        {4000, 900, "beta", appSlice + "app-gnome-org.example.Beta-4000.scope"},
        {4100, 900, "alpha", appSlice + "app-alpha-4100.scope"},
        // This program and its helper: never listed.
        {5000, 900, "Orlet", appSlice + "app-gnome-orlet-5000.scope"},
        {5010, 5000, "orlet-media", appSlice + "app-gnome-orlet-5000.scope"},
        // Not installed, no name, no application unit.
        {6000, 900, "script", appSlice + "app-gnome-org.example.Gone-6000.scope"},
        {6100, 900, "nameless", appSlice + "app-gnome-org.example.Nameless-6100.scope"},
        {6200, 900, "dbus-daemon", appSlice + "dbus.service"},
    });
    fs::create_directories(proc / "self");
    write(proc / "stat", "cpu 1 2 3\n");

    EXPECT_EQ(list(5010), (std::vector<RunningApp>{
                              {4100, "alpha"},
                              {4000, "Beta"},
                              {2100, "Firefox"},
                              {3000, "Terminal"},
                          }));
}

TEST_F(RunningApplicationsTest, SeparateInstancesOfOneApplicationAreListedOnceByTheFirst) {
    install("org.gnome.TextEditor", "Name=Text Editor\n");
    record({
        {7200, 1, "gnome-text-edit", appSlice + "app-gnome-org.gnome.TextEditor-7200.scope"},
        {7100, 1, "gnome-text-edit", appSlice + "app-gnome-org.gnome.TextEditor-7100.scope"},
    });
    EXPECT_EQ(list(1), (std::vector<RunningApp>{{7100, "Text Editor"}}));
}

TEST_F(RunningApplicationsTest, NoProcFolderMeansNoApplications) {
    EXPECT_TRUE(list(1).empty());
}

} // namespace
} // namespace orlet
