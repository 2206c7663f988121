#include "Settings/AppSettings.h"

#include "Platform/DefaultsStore.h"
#include "Settings/AutostartLoginItem.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"
#include "QtTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaProperty>
#include <QSignalSpy>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>

namespace orlet {
namespace {

namespace fs = std::filesystem;
using Stat = AppSettings::Stat;
using enum NotchTab;

QString qt(const fs::path& path) {
    return QString::fromStdString(path.string());
}

std::string contentOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void put(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

QJsonValue json(const char* text) {
    return QJsonDocument::fromJson(QByteArray("[") + text + "]").array().at(0);
}

// Refuses with `refusal` when one is set; otherwise does as asked.
class FakeLoginItem : public LoginItem {
public:
    bool isEnabled() const override { return enabled; }
    std::optional<QString> setEnabled(bool value) override {
        if (refusal) {
            return refusal;
        }
        enabled = value;
        return std::nullopt;
    }

    bool enabled = false;
    std::optional<QString> refusal;
};

// Settings over a defaults file of the test's own.
class Settings : public testing::Test {
protected:
    // Settings loaded from a defaults file that holds `json`.
    AppSettings& load(const std::string& json = "{}") {
        put(file(), json);
        return reload();
    }
    // Settings loaded again from what the last ones wrote.
    AppSettings& reload() {
        settings_.reset();
        store_ = std::make_unique<DefaultsStore>(qt(file()));
        settings_ = std::make_unique<AppSettings>(*store_, loginItem_);
        return *settings_;
    }

    fs::path file() const { return directory_.path() / "defaults.json"; }
    QJsonObject stored() const {
        return QJsonDocument::fromJson(QByteArray::fromStdString(contentOf(file()))).object();
    }

    test::TemporaryDirectory directory_;
    FakeLoginItem loginItem_;
    std::unique_ptr<DefaultsStore> store_;
    std::unique_ptr<AppSettings> settings_;
};

struct LoadCase {
    const char* sentence;
    const char* json; ///< the whole defaults file
    const char* property;
    QVariant expected;
};

class Loading : public Settings, public testing::WithParamInterface<LoadCase> {};

TEST_P(Loading, ReadsStoredValuesAndFallsBackOnMissingOrMistypedOnes) {
    const LoadCase& c = GetParam();
    EXPECT_EQ(load(c.json).property(c.property), c.expected);
}

const QStringList everyTab{"media", "system", "shelf", "today", "weather", "activity"};

INSTANTIATE_TEST_SUITE_P(
    Settings, Loading,
    testing::Values(
        LoadCase{"a fresh install has every tab in case order", "{}", "tabOrder", everyTab},
        LoadCase{"a stored order keeps its order skips unknown names and appends missing tabs",
                 R"({"tabs.order": ["weather", "podcasts", "media"]})", "tabOrder",
                 QStringList{"weather", "media", "system", "shelf", "today", "activity"}},
        LoadCase{"a tab stored twice in the order shows once",
                 R"({"tabs.order": ["shelf", "shelf"]})", "tabOrder",
                 QStringList{"shelf", "media", "system", "today", "weather", "activity"}},
        LoadCase{"an order list holding a number counts as no order",
                 R"({"tabs.order": ["weather", 3]})", "tabOrder", everyTab},
        LoadCase{"no tab is hidden on a fresh install", "{}", "hiddenTabs", QStringList()},
        LoadCase{"hidden tabs keep only names of tabs",
                 R"({"tabs.hidden": ["weather", "podcasts", "media"]})", "hiddenTabs",
                 QStringList{"media", "weather"}},
        LoadCase{"hidden stats keep only names of stats",
                 R"({"stats.hidden": ["battery", "fan", "cpu"]})", "hiddenStats",
                 QStringList{"cpu", "battery"}},
        LoadCase{"hidden stats stored as one string count as none", R"({"stats.hidden": "cpu"})",
                 "hiddenStats", QStringList()},
        LoadCase{"the sample interval falls back to one second", "{}", "sampleInterval", 1.0},
        LoadCase{"a sample interval stored as the string 2 falls back to one second",
                 R"({"stats.interval": "2"})", "sampleInterval", 1.0},
        LoadCase{"a stored sample interval is used", R"({"stats.interval": 2})", "sampleInterval",
                 2.0},
        LoadCase{"the hover delay falls back to 150 ms", "{}", "hoverDelayMs", 150.0},
        LoadCase{"a hover delay stored as a boolean falls back", R"({"notch.hoverDelay": true})",
                 "hoverDelayMs", 150.0},
        LoadCase{"a stored hover delay of zero is used", R"({"notch.hoverDelay": 0})",
                 "hoverDelayMs", 0.0},
        LoadCase{"the CPU is not pinned on a fresh install", "{}", "pinCPU", false},
        LoadCase{"a CPU pin stored as 1 is no boolean", R"({"stats.pinCPU": 1})", "pinCPU", false},
        LoadCase{"a stored CPU pin is used", R"({"stats.pinCPU": true})", "pinCPU", true},
        LoadCase{"haptics are on on a fresh install", "{}", "haptics", true},
        LoadCase{"haptics stored as 0 stay on", R"({"notch.haptics": 0})", "haptics", true},
        LoadCase{"haptics stored off are off", R"({"notch.haptics": false})", "haptics", false},
        LoadCase{"the menu bar icon shows on a fresh install", "{}", "showMenuBarIcon", true},
        LoadCase{"a menu bar icon stored as the string false still shows",
                 R"({"menubar.show": "false"})", "showMenuBarIcon", true},
        LoadCase{"a menu bar icon stored off is off", R"({"menubar.show": false})",
                 "showMenuBarIcon", false}),
    test::SentenceName());

struct VisibleCase {
    const char* sentence;
    const char* json;
    std::vector<NotchTab> expected;
};

class VisibleTabs : public Settings, public testing::WithParamInterface<VisibleCase> {};

TEST_P(VisibleTabs, AreTheOrderWithoutHiddenTabsAndNeverEmpty) {
    const VisibleCase& c = GetParam();
    const AppSettings& settings = load(c.json);
    EXPECT_EQ(settings.visibleTabs(), c.expected);
    EXPECT_EQ(settings.firstVisibleTab(), c.expected.front());
    for (const NotchTab tab : allNotchTabs) {
        const bool listed =
            std::find(c.expected.begin(), c.expected.end(), tab) != c.expected.end();
        EXPECT_EQ(settings.isVisible(tab), listed) << rawValue(tab);
    }
    QStringList names;
    for (const NotchTab tab : c.expected) {
        names.append(QString::fromUtf8(rawValue(tab).data(), rawValue(tab).size()));
    }
    EXPECT_EQ(settings.property("visibleTabs"), names);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, VisibleTabs,
    testing::Values(
        VisibleCase{"nothing hidden shows every tab in order",
                    "{}",
                    {media, system, shelf, today, weather, activity}},
        VisibleCase{"hidden tabs drop out and the stored order stays",
                    R"({"tabs.order": ["weather", "today"], "tabs.hidden": ["weather", "system"]})",
                    {today, media, shelf, activity}},
        VisibleCase{"all six hidden by hand leave media",
                    R"({"tabs.hidden": ["media", "system", "shelf", "today", "weather",
                                        "activity"]})",
                    {media}},
        VisibleCase{"all six hidden leave media even when it comes last in the order",
                    R"({"tabs.order": ["activity", "weather", "today", "shelf", "system", "media"],
                        "tabs.hidden": ["media", "system", "shelf", "today", "weather",
                                        "activity"]})",
                    {media}}),
    test::SentenceName());

TEST_F(Settings, TheLastVisibleTabCannotBeHiddenUntilAnotherIsShown) {
    AppSettings& settings = load();
    for (const NotchTab tab : {media, system, shelf, today, weather}) {
        settings.setVisible(tab, false);
    }
    QSignalSpy hiddenChanged(&settings, &AppSettings::hiddenTabsChanged);
    QSignalSpy visibleChanged(&settings, &AppSettings::visibleTabsChanged);
    QSignalSpy written(store_.get(), &DefaultsStore::changed);

    settings.setVisible(activity, false);
    EXPECT_EQ(settings.visibleTabs(), std::vector{activity});
    EXPECT_EQ(hiddenChanged.count() + visibleChanged.count() + written.count(), 0)
        << "a refused hide changes, writes and announces nothing";

    settings.setVisible(media, true);
    EXPECT_EQ(settings.visibleTabs(), (std::vector{media, activity}));
    settings.setVisible(activity, false);
    EXPECT_EQ(settings.visibleTabs(), std::vector{media});
    EXPECT_EQ(hiddenChanged.count(), 2);
    EXPECT_EQ(visibleChanged.count(), 2);
    EXPECT_EQ(reload().hiddenTabs(), (std::set{system, shelf, today, weather, activity}));
}

TEST_F(Settings, ShowingAndHidingStatsWritesEveryTimeAndAnnouncesOnlyChanges) {
    AppSettings& settings = load();
    QSignalSpy changed(&settings, &AppSettings::hiddenStatsChanged);
    QSignalSpy written(store_.get(), &DefaultsStore::changed);
    settings.setShown(Stat::gpu, false);
    settings.setShown(Stat::cpu, false);
    settings.setShown(Stat::cpu, false);
    settings.setShown(QStringLiteral("battery"), false);
    settings.setShown(QStringLiteral("fan"), false);
    settings.setShown(Stat::gpu, true);
    EXPECT_EQ(settings.hiddenStats(), (std::set{Stat::cpu, Stat::battery}));
    EXPECT_EQ(changed.count(), 4);
    EXPECT_EQ(written.count(), 5) << "an unknown name is no statistic: nothing to write";
    EXPECT_EQ(reload().hiddenStats(), (std::set{Stat::cpu, Stat::battery}));
}

TEST_F(Settings, ReorderingTabsTellsVisibleTabObserversOnlyWhenTheVisibleListMoves) {
    AppSettings& settings = load(R"({"tabs.hidden": ["today", "weather"]})");
    QSignalSpy visibleChanged(&settings, &AppSettings::visibleTabsChanged);
    settings.setTabOrder({media, system, shelf, weather, today, activity});
    EXPECT_EQ(visibleChanged.count(), 0) << "only hidden tabs swapped places";
    settings.setTabOrder({system, media, shelf, weather, today, activity});
    EXPECT_EQ(visibleChanged.count(), 1);
}

struct AssignCase {
    const char* sentence;
    const char* property;
    const char* key;
    QVariant other;     ///< differs from the fallback
    const char* stored; ///< how the file holds `other`
};

class Assigning : public Settings, public testing::WithParamInterface<AssignCase> {};

TEST_P(Assigning, WritesAtOnceEvenTheSameValueAndAnnouncesOnlyAChange) {
    const AssignCase& c = GetParam();
    AppSettings& settings = load();
    const QMetaProperty property =
        settings.metaObject()->property(settings.metaObject()->indexOfProperty(c.property));
    ASSERT_TRUE(property.isValid() && property.hasNotifySignal());
    QSignalSpy notified(&settings, property.notifySignal());

    settings.setProperty(c.property, settings.property(c.property));
    EXPECT_TRUE(stored().contains(c.key)) << "the value it already had is written too";
    EXPECT_EQ(notified.count(), 0);

    settings.setProperty(c.property, c.other);
    EXPECT_EQ(stored().value(c.key), json(c.stored));
    EXPECT_EQ(notified.count(), 1);
    EXPECT_EQ(reload().property(c.property), c.other);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, Assigning,
    testing::Values(
        AssignCase{"the tab order", "tabOrder", "tabs.order",
                   QStringList{"activity", "weather", "today", "shelf", "system", "media"},
                   R"(["activity", "weather", "today", "shelf", "system", "media"])"},
        AssignCase{"the hidden tabs", "hiddenTabs", "tabs.hidden", QStringList{"today"},
                   R"(["today"])"},
        AssignCase{"the hidden stats", "hiddenStats", "stats.hidden", QStringList{"ram"},
                   R"(["ram"])"},
        AssignCase{"the sample interval in seconds", "sampleInterval", "stats.interval", 2.5,
                   "2.5"},
        AssignCase{"the CPU pin", "pinCPU", "stats.pinCPU", true, "true"},
        AssignCase{"the hover delay in milliseconds", "hoverDelayMs", "notch.hoverDelay", 300.0,
                   "300"},
        AssignCase{"haptics", "haptics", "notch.haptics", false, "false"},
        AssignCase{"the menu bar icon", "showMenuBarIcon", "menubar.show", false, "false"}),
    test::SentenceName());

struct LoginCase {
    const char* sentence;
    bool enabledBefore;
    std::optional<QString> refusal;
    bool assigned;
    bool readAfter;
};

class LaunchAtLogin : public Settings, public testing::WithParamInterface<LoginCase> {};

TEST_P(LaunchAtLogin, AssignsThroughTheLoginItemLogsARefusalAndReadsItsActualState) {
    const LoginCase& c = GetParam();
    loginItem_.enabled = c.enabledBefore;
    loginItem_.refusal = c.refusal;
    AppSettings& settings = load();
    QSignalSpy notified(&settings, &AppSettings::launchAtLoginChanged);
    QSignalSpy written(store_.get(), &DefaultsStore::changed);
    test::LogCapture log;

    settings.setLaunchAtLogin(c.assigned);

    EXPECT_EQ(settings.launchAtLogin(), c.readAfter);
    EXPECT_EQ(notified.count(), c.readAfter != c.enabledBefore ? 1 : 0);
    EXPECT_EQ(written.count(), 0) << "launch at login lives outside the defaults";
    if (c.refusal) {
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_EQ(log.lines()[0].type, QtCriticalMsg);
        EXPECT_EQ(log.lines()[0].category, "com.brambleowl.orlet.app");
        EXPECT_EQ(log.lines()[0].message, "Launch at login: " + *c.refusal);
    } else {
        EXPECT_TRUE(log.lines().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, LaunchAtLogin,
    testing::Values(LoginCase{"enabling succeeds quietly", false, std::nullopt, true, true},
                    LoginCase{"disabling succeeds quietly", true, std::nullopt, false, false},
                    LoginCase{"a refused enabling logs one line and still reads off", false,
                              QStringLiteral("Operation not permitted"), true, false},
                    LoginCase{"a refused disabling logs one line and still reads on", true,
                              QStringLiteral("Read-only file system"), false, true}),
    test::SentenceName());

// An autostart folder that does not exist yet.
class AutostartEntry : public testing::Test {
protected:
    fs::path folder() const { return directory_.path() / "config" / "autostart"; }
    fs::path entry() const { return folder() / "orlet.desktop"; }
    AutostartLoginItem item(const QString& program = QStringLiteral("/opt/orlet/bin/Orlet")) {
        return AutostartLoginItem(qt(folder()), program);
    }

    test::TemporaryDirectory directory_;
};

TEST_F(AutostartEntry, EnablingWritesAnEntryTheSessionStartsAndDisablingRemovesIt) {
    AutostartLoginItem login = item();
    EXPECT_FALSE(login.isEnabled());
    EXPECT_EQ(login.setEnabled(true), std::nullopt);
    EXPECT_TRUE(login.isEnabled());
    EXPECT_EQ(contentOf(entry()), "[Desktop Entry]\n"
                                  "Type=Application\n"
                                  "Name=Orlet\n"
                                  "Exec=/opt/orlet/bin/Orlet\n"
                                  "X-GNOME-Autostart-enabled=true\n"
                                  "NoDisplay=true\n");
    EXPECT_EQ(login.setEnabled(false), std::nullopt);
    EXPECT_FALSE(fs::exists(entry()));
    EXPECT_FALSE(login.isEnabled());
    EXPECT_EQ(login.setEnabled(false), std::nullopt) << "nothing to remove is no failure";
}

TEST_F(AutostartEntry, AFolderThatCannotBeCreatedIsReportedWithItsPath) {
    put(folder(), "a file where the folder should be");
    AutostartLoginItem login = item();
    const std::optional<QString> error = login.setEnabled(true);
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->contains(qt(folder()))) << error->toStdString();
    EXPECT_FALSE(login.isEnabled());
}

TEST_F(AutostartEntry, SettingsLaunchAtLoginThroughTheEntry) {
    AutostartLoginItem login = item();
    DefaultsStore store(qt(directory_.path() / "defaults.json"));
    AppSettings settings(store, login);
    settings.setLaunchAtLogin(true);
    EXPECT_TRUE(fs::exists(entry()));
    EXPECT_TRUE(settings.launchAtLogin());
    settings.setLaunchAtLogin(false);
    EXPECT_FALSE(settings.launchAtLogin());
}

struct ExecCase {
    const char* sentence;
    const char* program;
    const char* line; ///< as it appears in the file
};

class ExecLines : public AutostartEntry, public testing::WithParamInterface<ExecCase> {};

TEST_P(ExecLines, QuoteAndEscapeTheProgramPathAsTheSessionParsesIt) {
    const ExecCase& c = GetParam();
    ASSERT_EQ(item(QString::fromUtf8(c.program)).setEnabled(true), std::nullopt);
    EXPECT_NE(contentOf(entry()).find(std::string("\n") + c.line + "\n"), std::string::npos)
        << contentOf(entry());
}

INSTANTIATE_TEST_SUITE_P(
    AutostartEntry, ExecLines,
    testing::Values(
        ExecCase{"a plain path stays as it is", "/opt/orlet/bin/Orlet",
                 "Exec=/opt/orlet/bin/Orlet"},
        ExecCase{"a path with a space is quoted", "/home/ann/My Apps/Orlet",
                 R"(Exec="/home/ann/My Apps/Orlet")"},
        ExecCase{"an apostrophe is quoted", "/home/o'brien/Orlet", R"(Exec="/home/o'brien/Orlet")"},
        // The quoting backslash is itself escaped as a string value: "\\$" reads back as "\$".
        ExecCase{"a dollar sign and a double quote are escaped inside the quotes",
                 R"(/tmp/a$b"c/Orlet)", R"(Exec="/tmp/a\\$b\\"c/Orlet")"},
        ExecCase{"a backslash becomes four", R"(/tmp/a\b/Orlet)", R"(Exec="/tmp/a\\\\b/Orlet")"},
        ExecCase{"a percent sign is doubled", "/tmp/100%/Orlet", "Exec=/tmp/100%%/Orlet"},
        ExecCase{"a tab is quoted and written as an escape", "/tmp/a\tb/Orlet",
                 R"(Exec="/tmp/a\tb/Orlet")"}),
    test::SentenceName());

struct EditedCase {
    const char* sentence;
    const char* content;
    bool enabled;
};

class EditedEntries : public AutostartEntry, public testing::WithParamInterface<EditedCase> {};

TEST_P(EditedEntries, AreOnUnlessTheyHideOrDisableThemselvesAndEnablingRestoresThem) {
    const EditedCase& c = GetParam();
    put(entry(), c.content);
    AutostartLoginItem login = item();
    EXPECT_EQ(login.isEnabled(), c.enabled);
    ASSERT_EQ(login.setEnabled(true), std::nullopt);
    EXPECT_TRUE(login.isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    AutostartEntry, EditedEntries,
    testing::Values(
        EditedCase{"an entry marked hidden is off",
                   "[Desktop Entry]\nType=Application\nHidden=true\n", false},
        EditedCase{"an entry the GNOME session disables is off",
                   "[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n", false},
        EditedCase{"spaces around the equals sign count", "[Desktop Entry]\nHidden = true\n",
                   false},
        EditedCase{"hidden false is on", "[Desktop Entry]\nHidden=false\n", true},
        EditedCase{"a hidden key in another group does not count",
                   "[Desktop Entry]\nType=Application\n[Desktop Action quit]\nHidden=true\n", true},
        EditedCase{"a commented out hidden key does not count", "[Desktop Entry]\n#Hidden=true\n",
                   true}),
    test::SentenceName());

} // namespace
} // namespace orlet
