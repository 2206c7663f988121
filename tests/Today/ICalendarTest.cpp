// Recorded calendars read with libical: repeats, exceptions, moved and cancelled instances,
// time zones across clock changes, all-day and declined events.
#include "Today/ICalendar.h"

#include "QtTestSupport.h"
#include "TestNames.h"
#include "TodayFixtures.h"

#include <gtest/gtest.h>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using test::at;
using test::berlinText;

// An occurrence as a line: title, start and end in Berlin, and its flags.
std::vector<std::string> lines(const std::vector<CalendarEvent>& events) {
    std::vector<std::string> result;
    for (const CalendarEvent& event : events) {
        QString line = event.title.value_or(QStringLiteral("-")) + QStringLiteral(" ") +
                       berlinText(event.start) + QStringLiteral(" - ") + berlinText(event.end);
        if (event.allDay) {
            line += QStringLiteral(" all-day");
        }
        if (event.declined) {
            line += QStringLiteral(" declined");
        }
        result.push_back(line.toStdString());
    }
    return result;
}

const ICalendar& team() {
    static const ICalendar calendar =
        std::get<ICalendar>(ICalendar::parse(test::todayFixture("team.ics")));
    return calendar;
}

struct DayCase {
    const char* sentence;
    const char* day;
    std::vector<std::string> expected;
};

class OneDay : public testing::TestWithParam<DayCase> {};

TEST_P(OneDay, ListsWhatHappensThatDayInLocalTime) {
    const Clock::Date from = at((std::string(GetParam().day) + " 00:00").c_str());
    EXPECT_EQ(lines(team().occurrences(from, from + 24h, test::berlin())), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    TeamCalendar, OneDay,
    testing::ValuesIn(std::vector<DayCase>{
        {"the weekly meeting months after its first instance, with the holiday, a floating lunch "
         "and two declined meetings",
         "2026-01-12",
         {"Company holiday 2026-01-12 00:00 - 2026-01-13 00:00 all-day",
          "Team sync 2026-01-12 10:00 - 2026-01-12 10:30",
          "Lunch 2026-01-12 12:00 - 2026-01-12 12:45",
          "Budget review 2026-01-12 14:00 - 2026-01-12 15:00 declined",
          "Vendor call 2026-01-12 16:00 - 2026-01-12 16:30"}},
        {"an excluded date has no meeting", "2026-01-19", {}},
        {"the moved instance is gone from its own day", "2026-01-26", {}},
        {"and shows on the day it moved to with its own title",
         "2026-01-27",
         {"Team sync (moved) 2026-01-27 14:00 - 2026-01-27 14:30"}},
        {"a cancelled instance is gone", "2026-02-02", {}},
        {"the week after the exceptions repeats as before",
         "2026-02-09",
         {"Team sync 2026-02-09 10:00 - 2026-02-09 10:30"}},
        {"New York before either clock change is six hours behind",
         "2026-03-02",
         {"Team sync 2026-03-02 10:00 - 2026-03-02 10:30",
          "New York standup 2026-03-02 15:00 - 2026-03-02 15:15"}},
        {"between the two clock changes New York is five hours behind",
         "2026-03-09",
         {"Team sync 2026-03-09 10:00 - 2026-03-09 10:30",
          "New York standup 2026-03-09 14:00 - 2026-03-09 14:15"}},
        {"after both changes it is six again and the file's own zone keeps ten o'clock",
         "2026-03-30",
         {"Team sync 2026-03-30 10:00 - 2026-03-30 10:30",
          "New York standup 2026-03-30 15:00 - 2026-03-30 15:15"}},
        {"the last instance before UNTIL is kept",
         "2026-04-06",
         {"Team sync 2026-04-06 10:00 - 2026-04-06 10:30",
          "New York standup 2026-04-06 15:00 - 2026-04-06 15:15"}},
        {"nothing repeats after UNTIL",
         "2026-04-13",
         {"Team sync 2026-04-13 10:00 - 2026-04-13 10:30"}},
        {"nothing happens before the first instance", "2025-09-29", {}},
    }),
    test::SentenceName());

TEST(ICalendar, AnInstanceAfterTheClockChangeIsAnHourEarlierInUtc) {
    const auto before =
        team().occurrences(at("2026-03-23 09:00"), at("2026-03-23 11:00"), test::berlin());
    const auto after =
        team().occurrences(at("2026-03-30 09:00"), at("2026-03-30 11:00"), test::berlin());
    ASSERT_EQ(before.size(), 1u);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after.front().start - before.front().start, 7 * 24h - 1h);
}

TEST(ICalendar, AddressesOfTheUserBesidesTheOwnerDeclineToo) {
    const auto events =
        team().occurrences(at("2026-01-12 16:00"), at("2026-01-12 17:00"), test::berlin(),
                           {QStringLiteral("Me.Private@example.org")});
    EXPECT_EQ(lines(events), (std::vector<std::string>{
                                 "Company holiday 2026-01-12 00:00 - 2026-01-13 00:00 all-day",
                                 "Vendor call 2026-01-12 16:00 - 2026-01-12 16:30 declined"}));
}

TEST(ICalendar, EachOccurrenceCarriesTheEventsFieldsAndTheCalendarsColour) {
    EXPECT_EQ(team().owner(), QStringLiteral("me@example.com"));
    const auto events =
        team().occurrences(at("2026-01-12 09:00"), at("2026-01-12 11:00"), test::berlin());
    ASSERT_EQ(events.size(), 2u);
    const CalendarEvent& sync = events[1];
    EXPECT_EQ(sync.identifier, QStringLiteral("team-sync@example.com"));
    EXPECT_EQ(sync.location, QStringLiteral("Room 4.12"));
    EXPECT_EQ(sync.notes, QStringLiteral("Agenda: https://docs.example.com/agenda\n"
                                         "Call: https://acme.zoom.us/j/5551234567?pwd=abc"));
    EXPECT_EQ(sync.color, QColor(0x34, 0xC7, 0x59));
    EXPECT_FALSE(sync.url);
}

TEST(ICalendar, AWindowCatchesAnEventThatStartedBeforeIt) {
    const std::string holiday = "Company holiday 2026-01-12 00:00 - 2026-01-13 00:00 all-day";
    EXPECT_EQ(
        lines(team().occurrences(at("2026-01-12 10:15"), at("2026-01-12 10:20"), test::berlin())),
        (std::vector<std::string>{holiday, "Team sync 2026-01-12 10:00 - 2026-01-12 10:30"}));
    EXPECT_EQ(
        lines(team().occurrences(at("2026-01-12 10:30"), at("2026-01-12 11:00"), test::berlin())),
        std::vector<std::string>{holiday})
        << "an event ending where the window starts is not in it";
}

struct BadCase {
    const char* sentence;
    QByteArray text;
    QString reason;
};

class Unreadable : public testing::TestWithParam<BadCase> {};

TEST_P(Unreadable, IsRefusedWithAReasonAPersonUnderstands) {
    const auto result = ICalendar::parse(GetParam().text);
    ASSERT_TRUE(std::holds_alternative<QString>(result));
    EXPECT_EQ(std::get<QString>(result), GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    ICalendar, Unreadable,
    testing::ValuesIn(std::vector<BadCase>{
        {"an empty file", "  \r\n", "the calendar is empty"},
        {"an HTML error page", "<html><body>Sign in</body></html>", "it isn't a calendar"},
        {"a vCard", "BEGIN:VCARD\r\nFN:Ann\r\nEND:VCARD\r\n", "it isn't a calendar"},
        {"a download cut off",
         "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:d\r\nSUMMARY:Cut",
         "the calendar is cut off or damaged"},
    }),
    test::SentenceName());

TEST(ICalendar, BrokenEventsAreSkippedAndTheRestStillRead) {
    // An event without a start, a rule that would run for ever and a zone nobody knows.
    const QByteArray text =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n"
        "BEGIN:VEVENT\r\nUID:a\r\nSUMMARY:No start\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:b\r\nSUMMARY:Every second\r\n"
        "DTSTART:20200101T000000Z\r\nRRULE:FREQ=SECONDLY;COUNT=1000000000\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:c\r\nSUMMARY:Fine\r\nDTSTART;TZID=Nowhere/Atlantis:20260112T090000\r\n"
        "DTEND;TZID=Nowhere/Atlantis:20260112T100000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    const auto parsed = ICalendar::parse(text);
    ASSERT_TRUE(std::holds_alternative<ICalendar>(parsed))
        << std::get<QString>(parsed).toStdString();
    // An unknown zone is read as the user's own.
    EXPECT_EQ(lines(std::get<ICalendar>(parsed).occurrences(
                  at("2026-01-12 00:00"), at("2026-01-13 00:00"), test::berlin())),
              std::vector<std::string>{"Fine 2026-01-12 09:00 - 2026-01-12 10:00"});
}

TEST(ICalendar, ExchangeZoneNamesAndGoogleConferenceLinksAreUnderstood) {
    const QByteArray text =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nX-WR-CALNAME:Work\r\nCOLOR:tomato\r\n"
        "BEGIN:VEVENT\r\nUID:x\r\nSUMMARY:Review\r\n"
        "DTSTART;TZID=GMT Standard Time:20260112T090000\r\n"
        "DTEND;TZID=GMT Standard Time:20260112T093000\r\n"
        "X-GOOGLE-CONFERENCE:https://meet.google.com/xyz-abcd-efg\r\n"
        "END:VEVENT\r\nEND:VCALENDAR\r\n";
    const ICalendar calendar = std::get<ICalendar>(ICalendar::parse(text));
    EXPECT_EQ(calendar.name(), QStringLiteral("Work"));
    EXPECT_FALSE(calendar.owner());
    EXPECT_EQ(calendar.color(), QColor(255, 99, 71));
    const auto events =
        calendar.occurrences(at("2026-01-12 00:00"), at("2026-01-13 00:00"), test::berlin());
    EXPECT_EQ(lines(events),
              std::vector<std::string>{"Review 2026-01-12 10:00 - 2026-01-12 10:30"});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].url, QStringLiteral("https://meet.google.com/xyz-abcd-efg"));
}

} // namespace
} // namespace orlet
