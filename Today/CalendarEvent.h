#pragma once

#include "Platform/Clock.h"

#include <QColor>
#include <QString>
#include <optional>

namespace orlet {

// One occurrence of a calendar event, as a calendar store hands it out: a repeating event
// yields one per instance, each with the times of that instance.
struct CalendarEvent {
    QString identifier;
    std::optional<QString> title;
    Clock::Date start;
    Clock::Date end;
    bool allDay = false;
    // The user is among the attendees and said no.
    bool declined = false;
    // The calendar's colour, when it names one.
    std::optional<QColor> color;
    std::optional<QString> url;
    std::optional<QString> location;
    std::optional<QString> notes;

    bool operator==(const CalendarEvent&) const = default;
};

} // namespace orlet
