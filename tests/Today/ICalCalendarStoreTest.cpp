// The calendar sources of the desktop and the settings: real files watched on disk and
// subscriptions fetched from a loopback HTTP server.
#include "Today/ICalCalendarStore.h"

#include "LoopbackHttpServer.h"
#include "Platform/DefaultsStore.h"
#include "Platform/ManualClock.h"
#include "QtTestSupport.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"
#include "TodayFixtures.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <gtest/gtest.h>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using test::at;
using test::LoopbackHttpServer;
using Access = CalendarStore::Access;
using Location = ICalCalendarStore::Location;

QByteArray calendarWith(const QByteArray& title, const QByteArray& extra = {}) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:" + title.toLower() +
           "\r\nSUMMARY:" + title + "\r\nDTSTART:20260112T090000Z\r\nDTEND:20260112T100000Z\r\n" +
           extra + "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

void write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// Saves as editors and Evolution do: a new file renamed over the old one.
void replace(const QString& path, const QByteArray& bytes) {
    write(path + ".tmp", bytes);
    ASSERT_TRUE(::rename(QFile::encodeName(path + ".tmp").constData(),
                         QFile::encodeName(path).constData()) == 0);
}

class Sources : public testing::Test {
protected:
    QString root() const { return QString::fromStdString(folder_.path().string()); }
    QString data() const { return root() + "/data"; }
    QString config() const { return root() + "/config"; }
    QString personal() const { return data() + "/evolution/calendar/system/calendar.ics"; }

    ICalCalendarStore& store() {
        if (!store_) {
            store_ = std::make_unique<ICalCalendarStore>(ICalCalendarStore::Environment{
                clock_, defaults_, network_, data(), config(), test::berlin()});
            store_->onChange = [this] { ++changes_; };
        }
        return *store_;
    }

    // Waits for the worker and the network; pending settle delays pass on the manual clock.
    bool settled(const std::function<bool()>& condition) {
        return LoopbackHttpServer::waitFor([&] {
            clock_.advance(ICalCalendarStore::settleDelay);
            return store().pendingReads() == 0 && condition();
        });
    }
    bool settled() {
        return settled([] { return true; });
    }

    std::vector<std::string> titles() {
        std::vector<std::string> result;
        for (const CalendarEvent& event :
             store().events(at("2026-01-12 00:00"), at("2026-01-13 00:00"))) {
            result.push_back(event.title.value_or(QString()).toStdString());
        }
        return result;
    }

    test::TemporaryDirectory folder_;
    ManualClock clock_;
    DefaultsStore defaults_{QString::fromStdString((folder_.path() / "defaults.json").string())};
    QNetworkAccessManager network_;
    std::unique_ptr<ICalCalendarStore> store_;
    int changes_ = 0;
};

TEST_F(Sources, NoCalendarAnywhereAsksTheUserToAddOne) {
    EXPECT_EQ(store().access(), Access::none);
    EXPECT_EQ(store().problem(),
              QStringLiteral("No calendars found. Add an .ics file or a calendar link in Settings, "
                             "or create a calendar in your desktop's calendar app."));
}

TEST_F(Sources, TheDesktopsLocalCalendarIsReadWithItsNameColourAndOwner) {
    write(personal(),
          calendarWith("Dentist", "ATTENDEE;PARTSTAT=DECLINED:mailto:me@example.com\r\n"));
    write(config() + "/evolution/sources/system-calendar.source",
          "[Data Source]\nDisplayName=Personal\n\n[Calendar]\nBackendName=local\nColor=#e01b24\n");
    write(config() + "/evolution/sources/1234.source",
          "[Data Source]\nDisplayName=Me\n\n[Mail Identity]\nAddress=Me@Example.com\n");
    ASSERT_TRUE(settled());
    EXPECT_EQ(store().access(), Access::readable);
    EXPECT_EQ(store().problem(), QString());
    const auto events = store().events(at("2026-01-12 00:00"), at("2026-01-13 00:00"));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].title, QStringLiteral("Dentist"));
    EXPECT_EQ(events[0].color, QColor(0xe0, 0x1b, 0x24));
    EXPECT_TRUE(events[0].declined) << "the mail account's address is the user";
    EXPECT_EQ(store().sources(),
              (std::vector<ICalCalendarStore::SourceState>{{"Personal", true, {}}}));
}

TEST_F(Sources, AFileReplacedByRenameIsReadAgainEveryTime) {
    write(personal(), calendarWith("First"));
    ASSERT_TRUE(settled());
    ASSERT_EQ(titles(), std::vector<std::string>{"First"});
    for (const QByteArray title : {"Second", "Third"}) {
        const int before = changes_;
        replace(personal(), calendarWith(title));
        EXPECT_TRUE(settled([&] {
            return titles() == std::vector<std::string>{title.toStdString()};
        })) << "still "
            << testing::PrintToString(titles());
        EXPECT_GT(changes_, before);
    }
}

TEST_F(Sources, AnotherFileChangingInTheFolderDoesNotReadTheCalendarAgain) {
    write(personal(), calendarWith("Home"));
    ASSERT_TRUE(settled());
    const int before = changes_;
    write(QFileInfo(personal()).path() + "/calendar.ics.lock", "1234");
    ASSERT_TRUE(LoopbackHttpServer::waitFor([&] { return clock_.pendingCount() > 0; }));
    clock_.advance(ICalCalendarStore::settleDelay);
    EXPECT_EQ(store().pendingReads(), 0);
    EXPECT_EQ(changes_, before);
}

TEST_F(Sources, ANewLocalCalendarIsPickedUpAndARemovedOneDropped) {
    write(personal(), calendarWith("Home"));
    ASSERT_TRUE(settled());
    const QString work = data() + "/evolution/calendar/1700000000.1234.1@host/calendar.ics";
    write(work, calendarWith("Work"));
    EXPECT_TRUE(settled([&] { return titles().size() == 2; })) << testing::PrintToString(titles());
    QDir(QFileInfo(work).path()).removeRecursively();
    EXPECT_TRUE(settled([&] { return titles() == std::vector<std::string>{"Home"}; }))
        << testing::PrintToString(titles());
}

TEST_F(Sources, OneFailingCalendarIsNamedWhileTheOthersStillShow) {
    const QString broken = root() + "/shared/team.ics";
    write(broken, "<html>Please sign in</html>");
    write(personal(), calendarWith("Home"));
    defaults_.set("calendar.sources", QStringList{broken, root() + "/missing.ics"});
    ASSERT_TRUE(settled());
    EXPECT_EQ(store().access(), Access::readable);
    EXPECT_EQ(titles(), std::vector<std::string>{"Home"});
    EXPECT_EQ(store().problem(),
              QStringLiteral("Couldn't read “team.ics”: it isn't a calendar\n"
                             "Couldn't read “missing.ics”: the file is missing"));

    QFile::remove(personal());
    EXPECT_TRUE(settled([&] { return store().access() == Access::failed; }));
    EXPECT_TRUE(titles().empty());

    write(broken, calendarWith("Team"));
    EXPECT_TRUE(settled([&] { return store().access() == Access::readable; }));
    EXPECT_EQ(titles(), std::vector<std::string>{"Team"});
}

TEST_F(Sources, ALinkIsFetchedEveryHalfHourAndKeepsItsLastCalendarWhenTheServerFails) {
    LoopbackHttpServer server;
    server.route("/feeds/me.ics", {200, calendarWith("Planning"), "text/calendar", false, false});
    defaults_.set("calendar.sources",
                  QStringList{server.url().toString() + QStringLiteral("/feeds/me.ics")});
    ASSERT_TRUE(settled([&] { return !titles().empty(); }));
    EXPECT_EQ(titles(), std::vector<std::string>{"Planning"});
    EXPECT_EQ(server.requests("/feeds/me.ics").size(), 1u);

    server.route("/feeds/me.ics", {503, "busy", "text/plain", false, false});
    clock_.advance(ICalCalendarStore::refreshInterval - 1s);
    EXPECT_EQ(server.requests("/feeds/me.ics").size(), 1u);
    clock_.advance(1s);
    ASSERT_TRUE(settled([&] { return !store().problem().isEmpty(); }));
    EXPECT_EQ(server.requests("/feeds/me.ics").size(), 2u);
    EXPECT_EQ(store().problem(),
              QStringLiteral("Couldn't read “127.0.0.1”: the server answered 503"));
    EXPECT_EQ(store().access(), Access::readable);
    EXPECT_EQ(titles(), std::vector<std::string>{"Planning"});

    server.route("/feeds/me.ics", {200, calendarWith("Retro"), "text/calendar", false, false});
    clock_.advance(ICalCalendarStore::refreshInterval);
    EXPECT_TRUE(settled([&] { return titles() == std::vector<std::string>{"Retro"}; }));
    EXPECT_EQ(store().problem(), QString());
}

TEST_F(Sources, ALinkThatNeverAnsweredFailsTheStore) {
    LoopbackHttpServer server;
    defaults_.set("calendar.sources",
                  QStringList{server.url().toString() + QStringLiteral("/gone.ics")});
    ASSERT_TRUE(settled([&] { return store().access() == Access::failed; }));
    EXPECT_EQ(store().problem(),
              QStringLiteral("Couldn't read “127.0.0.1”: the server answered 404"));
}

struct EntryCase {
    const char* sentence;
    const char* entry;
    std::variant<Location, QString> expected;
};

class SettingEntry : public testing::TestWithParam<EntryCase> {};

TEST_P(SettingEntry, BecomesAFileALinkOrAReason) {
    EXPECT_EQ(ICalCalendarStore::locationOf(QString::fromUtf8(GetParam().entry), "/home/ann"),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, SettingEntry,
    testing::ValuesIn(std::vector<EntryCase>{
        {"an absolute path", " /srv/cal/../team.ics ",
         Location{Location::Kind::file, "/srv/team.ics", {}}},
        {"a path in the home", "~/Calendars/me.ics",
         Location{Location::Kind::file, "/home/ann/Calendars/me.ics", {}}},
        {"a file URL", "file:///tmp/x.ics", Location{Location::Kind::file, "/tmp/x.ics", {}}},
        {"an https link", "https://calendar.example.com/u/me.ics?token=a%2Fb",
         Location{
             Location::Kind::link, {}, QUrl("https://calendar.example.com/u/me.ics?token=a%2Fb")}},
        {"a webcal link is fetched over https", "webcal://p01-caldav.example.com/published/2/abc",
         Location{
             Location::Kind::link, {}, QUrl("https://p01-caldav.example.com/published/2/abc")}},
        {"plain http leaves the machine unprotected", "http://calendar.example.com/me.ics",
         QString("only https links are fetched")},
        {"another scheme", "ftp://example.com/me.ics", QString("only https links are fetched")},
        {"a relative path", "Calendars/me.ics", QString("only https links are fetched")},
        {"nothing", "   ", QString("the entry is empty")},
    }),
    test::SentenceName());

} // namespace
} // namespace orlet
