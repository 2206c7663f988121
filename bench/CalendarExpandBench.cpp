// Reading a calendar and expanding its occurrences: a weekly meeting over a year plus 500
// single events, as the calendar service's store handles it.
#include "Today/ICalendar.h"

#include <QDateTime>
#include <QTimeZone>
#include <benchmark/benchmark.h>

namespace {

using orlet::Clock;
using orlet::ICalendar;

const QTimeZone& berlin() {
    static const QTimeZone zone("Europe/Berlin");
    return zone;
}

Clock::Date dateAt(int year, int month, int day) {
    return Clock::Date(std::chrono::milliseconds(
        QDateTime(QDate(year, month, day), QTime(0, 0), berlin()).toMSecsSinceEpoch()));
}

// A weekly meeting in its own zone with exceptions, and 500 single events through the year.
QByteArray yearOfCalendar() {
    QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Bench//EN\r\n"
                      "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\n"
                      "BEGIN:DAYLIGHT\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nTZNAME:CEST\r\n"
                      "DTSTART:19700329T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\n"
                      "END:DAYLIGHT\r\n"
                      "BEGIN:STANDARD\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nTZNAME:CET\r\n"
                      "DTSTART:19701025T030000\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\n"
                      "END:STANDARD\r\nEND:VTIMEZONE\r\n"
                      "BEGIN:VEVENT\r\nUID:weekly@bench\r\nSUMMARY:Team sync\r\n"
                      "DTSTART;TZID=Europe/Berlin:20260105T100000\r\n"
                      "DTEND;TZID=Europe/Berlin:20260105T103000\r\n"
                      "RRULE:FREQ=WEEKLY;BYDAY=MO\r\n"
                      "EXDATE;TZID=Europe/Berlin:20260406T100000\r\n"
                      "DESCRIPTION:https://acme.zoom.us/j/5551234567\r\nEND:VEVENT\r\n"
                      "BEGIN:VEVENT\r\nUID:weekly@bench\r\n"
                      "RECURRENCE-ID;TZID=Europe/Berlin:20260511T100000\r\nSUMMARY:Team sync\r\n"
                      "DTSTART;TZID=Europe/Berlin:20260512T140000\r\n"
                      "DTEND;TZID=Europe/Berlin:20260512T143000\r\nEND:VEVENT\r\n";
    const QDateTime first(QDate(2026, 1, 1), QTime(8, 0), QTimeZone::utc());
    for (int i = 0; i < 500; ++i) {
        const QDateTime start = first.addSecs(qint64(i) * 17 * 3600 + (i % 7) * 900);
        text += "BEGIN:VEVENT\r\nUID:single-" + QByteArray::number(i) +
                "@bench\r\nSUMMARY:Meeting " + QByteArray::number(i) +
                "\r\nDTSTART:" + start.toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1() +
                "\r\nDTEND:" +
                start.addSecs(2700).toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1() +
                "\r\nLOCATION:Room " + QByteArray::number(i % 12) +
                "\r\nATTENDEE;PARTSTAT=ACCEPTED:mailto:me@example.com\r\nEND:VEVENT\r\n";
    }
    return text + "END:VCALENDAR\r\n";
}

void BM_ParseYear(benchmark::State& state) {
    const QByteArray text = yearOfCalendar();
    for (auto _ : state) {
        auto parsed = ICalendar::parse(text);
        benchmark::DoNotOptimize(parsed);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
}
BENCHMARK(BM_ParseYear)->Unit(benchmark::kMillisecond);

void BM_ExpandYear(benchmark::State& state) {
    const ICalendar calendar = std::get<ICalendar>(ICalendar::parse(yearOfCalendar()));
    std::size_t count = 0;
    for (auto _ : state) {
        const auto events = calendar.occurrences(dateAt(2026, 1, 1), dateAt(2027, 1, 1), berlin());
        count = events.size();
        benchmark::DoNotOptimize(events.data());
    }
    state.counters["occurrences"] = double(count);
}
BENCHMARK(BM_ExpandYear)->Unit(benchmark::kMillisecond);

// What every reload of the service asks: an hour ago to the end of the day.
void BM_ExpandOneDay(benchmark::State& state) {
    const ICalendar calendar = std::get<ICalendar>(ICalendar::parse(yearOfCalendar()));
    std::size_t count = 0;
    for (auto _ : state) {
        const auto events = calendar.occurrences(dateAt(2026, 11, 16) - std::chrono::hours(1),
                                                 dateAt(2026, 11, 17), berlin());
        count = events.size();
        benchmark::DoNotOptimize(events.data());
    }
    state.counters["occurrences"] = double(count);
}
BENCHMARK(BM_ExpandOneDay)->Unit(benchmark::kMicrosecond);

void BM_ParseAndExpandYear(benchmark::State& state) {
    const QByteArray text = yearOfCalendar();
    for (auto _ : state) {
        const ICalendar calendar = std::get<ICalendar>(ICalendar::parse(text));
        const auto events = calendar.occurrences(dateAt(2026, 1, 1), dateAt(2027, 1, 1), berlin());
        benchmark::DoNotOptimize(events.data());
    }
}
BENCHMARK(BM_ParseAndExpandYear)->Unit(benchmark::kMillisecond);

} // namespace
