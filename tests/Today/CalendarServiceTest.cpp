// The calendar service over a fake store on a manual clock: which meetings are listed, when
// it wakes, and the reminders it pops.
#include "Today/CalendarService.h"

#include "Platform/ManualClock.h"
#include "QtTestSupport.h"
#include "TestNames.h"
#include "TodayFakes.h"
#include "TodayFixtures.h"

#include <gtest/gtest.h>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using test::at;
using test::berlinText;
using Access = CalendarService::Access;
using test::FakeStore;
using test::meeting;

class Calendar : public testing::Test {
protected:
    Calendar() { clock_.setDate(at("2026-01-12 08:00")); }

    void start() {
        service_.showTransient = [this](const TransientActivity& activity) {
            reminders_.push_back(berlinText(clock_.date()).toStdString() + " " +
                                 activity.asAlert()->text.toStdString());
            EXPECT_EQ(activity,
                      TransientActivity::alert(QStringLiteral("calendar"), activity.asAlert()->text,
                                               TransientActivity::Severity::warning));
        };
        service_.start();
    }

    // Lets the wall clock run to `time`, waking the service on the way.
    void runUntil(const char* time) { clock_.advance(at(time) - clock_.date()); }

    std::vector<std::string> titles() const {
        std::vector<std::string> result;
        for (const CalendarService::Meeting& meeting : service_.upcoming()) {
            result.push_back(meeting.title.toStdString());
        }
        return result;
    }

    ManualClock clock_;
    FakeStore store_;
    CalendarService service_{CalendarService::Environment{clock_, store_, test::berlin()}};
    std::vector<std::string> reminders_;
};

TEST_F(Calendar, ListsTheEarliestThreeAndTheFourthOnceTheFirstEnds) {
    store_.list = {meeting("d", "2026-01-12 15:00", "2026-01-12 16:00"),
                   meeting("a", "2026-01-12 09:00", "2026-01-12 10:00"),
                   meeting("c", "2026-01-12 13:00", "2026-01-12 14:00"),
                   meeting("b", "2026-01-12 11:00", "2026-01-12 12:00")};
    start();
    EXPECT_EQ(titles(), (std::vector<std::string>{"a", "b", "c"}));
    runUntil("2026-01-12 09:59:59");
    EXPECT_EQ(titles(), (std::vector<std::string>{"a", "b", "c"})) << "still running at 09:30";
    runUntil("2026-01-12 10:00");
    EXPECT_EQ(titles(), (std::vector<std::string>{"b", "c", "d"}));
}

TEST_F(Calendar, AsksForTheLastHourUntilTheEndOfToday) {
    start();
    EXPECT_EQ(berlinText(store_.lastWindow.first), QStringLiteral("2026-01-12 07:00"));
    EXPECT_EQ(berlinText(store_.lastWindow.second), QStringLiteral("2026-01-13 00:00"));
}

TEST_F(Calendar, AMeetingBecomesAnIdWithItsStartAndDefaultsForWhatIsMissing) {
    CalendarEvent event = meeting("uid-1", "2026-01-12 09:00", "2026-01-12 10:00");
    event.title = QStringLiteral("  ");
    event.location = QStringLiteral("Room 2");
    event.notes = QStringLiteral("doc https://example.com/a then https://acme.zoom.us/j/9");
    store_.list = {event};
    start();
    ASSERT_EQ(service_.upcoming().size(), 1u);
    const CalendarService::Meeting& shown = service_.upcoming()[0];
    EXPECT_EQ(shown.id, QStringLiteral("uid-1") + CalendarService::secondsText(event.start));
    EXPECT_EQ(CalendarService::secondsText(Clock::Date(std::chrono::seconds(1733760000))),
              QStringLiteral("1733760000.0"));
    EXPECT_EQ(CalendarService::secondsText(Clock::Date(std::chrono::milliseconds(1733760000500))),
              QStringLiteral("1733760000.5"));
    EXPECT_EQ(shown.title, QStringLiteral("Untitled"));
    EXPECT_EQ(shown.color, QColor(0, 122, 255));
    EXPECT_EQ(shown.joinURL, QUrl(QStringLiteral("https://acme.zoom.us/j/9")));
}

TEST_F(Calendar, DeclinedAllDayAndFinishedEventsNeverShow) {
    CalendarEvent declined = meeting("declined", "2026-01-12 09:00", "2026-01-12 10:00");
    declined.declined = true;
    CalendarEvent allDay = meeting("all day", "2026-01-12 00:00", "2026-01-13 00:00");
    allDay.allDay = true;
    store_.list = {declined, allDay, meeting("over", "2026-01-12 07:10", "2026-01-12 07:50"),
                   meeting("kept", "2026-01-12 11:00", "2026-01-12 11:30")};
    start();
    EXPECT_EQ(titles(), std::vector<std::string>{"kept"});
}

TEST_F(Calendar, RemindsFiveMinutesAheadOnceAndWakesForTheEnd) {
    store_.list = {meeting("standup", "2026-01-12 10:00", "2026-01-12 10:15")};
    start();
    EXPECT_EQ(berlinText(*service_.nextWakeUp()), QStringLiteral("2026-01-12 09:55"));
    runUntil("2026-01-12 09:54:59");
    EXPECT_TRUE(reminders_.empty());
    runUntil("2026-01-12 09:55");
    EXPECT_EQ(reminders_, std::vector<std::string>{"2026-01-12 09:55 In 5 min"});
    EXPECT_EQ(berlinText(*service_.nextWakeUp()), QStringLiteral("2026-01-12 10:15"));
    store_.change();
    runUntil("2026-01-12 10:14");
    EXPECT_EQ(reminders_.size(), 1u) << "a reload does not remind again";
    runUntil("2026-01-12 10:15");
    EXPECT_TRUE(service_.upcoming().empty());
    EXPECT_EQ(berlinText(*service_.nextWakeUp()), QStringLiteral("2026-01-13 00:00"));
    EXPECT_EQ(*service_.nextWakeUp(), at("2026-01-13 00:00:01"));
}

struct LateCase {
    const char* sentence;
    // When the meeting at 10:00 enters the list.
    const char* added;
    std::vector<std::string> atOnce;
    std::vector<std::string> byTheEnd;
};

class EnteringLate : public Calendar, public testing::WithParamInterface<LateCase> {};

TEST_P(EnteringLate, IsRemindedAtOnceWithTheMinutesLeft) {
    start();
    runUntil(GetParam().added);
    store_.list = {meeting("review", "2026-01-12 10:00", "2026-01-12 11:00")};
    store_.change();
    clock_.advance(0s);
    EXPECT_EQ(reminders_, GetParam().atOnce);
    runUntil("2026-01-12 11:00");
    EXPECT_EQ(reminders_, GetParam().byTheEnd) << "each meeting once";
}

INSTANTIATE_TEST_SUITE_P(
    Calendar, EnteringLate,
    testing::ValuesIn(std::vector<LateCase>{
        {"three minutes ahead",
         "2026-01-12 09:57",
         {"2026-01-12 09:57 In 3 min"},
         {"2026-01-12 09:57 In 3 min"}},
        {"twenty seconds ahead reads Starting",
         "2026-01-12 09:59:40",
         {"2026-01-12 09:59 Starting"},
         {"2026-01-12 09:59 Starting"}},
        {"just started still reads Starting",
         "2026-01-12 10:00:30",
         {"2026-01-12 10:00 Starting"},
         {"2026-01-12 10:00 Starting"}},
        {"more than a minute after the start is not reminded", "2026-01-12 10:01:01", {}, {}},
        {"ten minutes ahead waits for five before",
         "2026-01-12 09:50",
         {},
         {"2026-01-12 09:55 In 5 min"}},
    }),
    test::SentenceName());

TEST_F(Calendar, TheProgramStartingThreeMinutesBeforeAMeetingRemindsAtOnce) {
    clock_.setDate(at("2026-01-12 09:57"));
    store_.list = {meeting("review", "2026-01-12 10:00", "2026-01-12 11:00")};
    start();
    clock_.advance(0s);
    EXPECT_EQ(reminders_, std::vector<std::string>{"2026-01-12 09:57 In 3 min"});
}

TEST_F(Calendar, AReminderMoreThanAMinuteLateIsSkipped) {
    store_.list = {meeting("standup", "2026-01-12 10:00", "2026-01-12 10:30")};
    clock_.setDate(at("2026-01-12 09:50"));
    start();
    // The machine slept through the wake-up: the wall clock is past the start when it fires.
    clock_.setDate(at("2026-01-12 09:56"));
    clock_.advance(5min);
    EXPECT_TRUE(reminders_.empty());
    EXPECT_EQ(service_.upcoming().size(), 1u);
}

TEST_F(Calendar, AMovedMeetingIsRemindedAgain) {
    store_.list = {meeting("sync", "2026-01-12 10:00", "2026-01-12 10:30")};
    start();
    runUntil("2026-01-12 09:56");
    store_.list = {meeting("sync", "2026-01-12 10:30", "2026-01-12 11:00")};
    store_.change();
    runUntil("2026-01-12 10:25");
    EXPECT_EQ(reminders_,
              (std::vector<std::string>{"2026-01-12 09:55 In 5 min", "2026-01-12 10:25 In 5 min"}));
}

TEST_F(Calendar, MidnightWakeUpFollowsTheCalendarDayOnAClockChange) {
    // The clocks go back on 2026-10-25: that day has 25 hours.
    clock_.setDate(at("2026-10-25 12:00"));
    start();
    EXPECT_EQ(*service_.nextWakeUp(), at("2026-10-26 00:00:01"));
    const int queries = store_.queries;
    runUntil("2026-10-25 23:59");
    EXPECT_EQ(store_.queries, queries) << "no wake-ups in the extra hour";
    runUntil("2026-10-26 00:00:01");
    EXPECT_EQ(store_.queries, queries + 1);
    EXPECT_EQ(berlinText(store_.lastWindow.second), QStringLiteral("2026-10-27 00:00"));
}

struct AccessCase {
    const char* sentence;
    CalendarStore::Access store;
    Access expected;
    std::size_t meetings;
};

class AccessOfTheStore : public Calendar, public testing::WithParamInterface<AccessCase> {};

TEST_P(AccessOfTheStore, DecidesWhetherMeetingsAreListed) {
    store_.state = GetParam().store;
    store_.problemText = QStringLiteral("Couldn't read “work.ics”: the file is missing");
    store_.list = {meeting("a", "2026-01-12 09:00", "2026-01-12 10:00")};
    start();
    EXPECT_EQ(service_.access(), GetParam().expected);
    EXPECT_EQ(service_.upcoming().size(), GetParam().meetings);
    EXPECT_EQ(service_.problem(), store_.problemText);
    EXPECT_EQ(service_.nextWakeUp().has_value(), GetParam().meetings > 0);
    EXPECT_EQ(clock_.pendingCount(), GetParam().meetings > 0 ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Calendar, AccessOfTheStore,
    testing::ValuesIn(std::vector<AccessCase>{
        {"no calendars set up is not determined", CalendarStore::Access::none,
         Access::notDetermined, 0},
        {"readable calendars are granted", CalendarStore::Access::readable, Access::granted, 1},
        {"calendars that all fail are denied", CalendarStore::Access::failed, Access::denied, 0},
    }),
    test::SentenceName());

TEST_F(Calendar, AskingAgainReadsTheCalendarsAndListsTheirMeetings) {
    store_.state = CalendarStore::Access::none;
    store_.list = {meeting("a", "2026-01-12 09:00", "2026-01-12 10:00")};
    start();
    int accessSignals = 0;
    QObject::connect(&service_, &CalendarService::accessChanged, [&] { ++accessSignals; });
    service_.requestAccess();
    EXPECT_EQ(store_.accessRequests, 1);
    EXPECT_EQ(service_.access(), Access::granted);
    EXPECT_EQ(accessSignals, 1);
    EXPECT_EQ(titles(), std::vector<std::string>{"a"});
}

} // namespace
} // namespace orlet
