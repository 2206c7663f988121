#pragma once

#include "Today/CalendarEvent.h"

#include <QString>
#include <functional>
#include <vector>

namespace orlet {

// Where the calendar service reads events: the user's iCalendar sources, or a fake in tests.
class CalendarStore {
public:
    enum class Access {
        // Nothing to read: no calendar is set up.
        none,
        // At least one calendar could be read or is being read.
        readable,
        // Every calendar failed.
        failed,
    };

    virtual ~CalendarStore() = default;

    virtual Access access() const = 0;
    // What went wrong, for the user; empty when every calendar reads.
    virtual QString problem() const = 0;
    // Every occurrence overlapping [from, to), from all calendars.
    virtual std::vector<CalendarEvent> events(Clock::Date from, Clock::Date to) const = 0;
    // Looks for calendars again and re-reads every one; `done` runs once that has started.
    virtual void requestAccess(std::function<void()> done) = 0;

    // Called on the main thread whenever a calendar changed or was read again.
    std::function<void()> onChange;
};

} // namespace orlet
