#pragma once

#include "Today/CalendarStore.h"
#include "TodayFixtures.h"

#include <functional>
#include <utility>
#include <vector>

namespace orlet::test {

// A calendar store holding a list of events, counting what it is asked.
class FakeStore : public CalendarStore {
public:
    CalendarStore::Access access() const override { return state; }
    QString problem() const override { return problemText; }
    std::vector<CalendarEvent> events(Clock::Date from, Clock::Date to) const override {
        ++queries;
        lastWindow = {from, to};
        std::vector<CalendarEvent> overlapping;
        for (const CalendarEvent& event : list) {
            if (event.start < to && event.end > from) {
                overlapping.push_back(event);
            }
        }
        return overlapping;
    }
    void requestAccess(std::function<void()> done) override {
        ++accessRequests;
        state = afterRequest;
        done();
    }
    void change() {
        if (onChange) {
            onChange();
        }
    }

    CalendarStore::Access state = CalendarStore::Access::readable;
    CalendarStore::Access afterRequest = CalendarStore::Access::readable;
    QString problemText;
    std::vector<CalendarEvent> list;
    mutable int queries = 0;
    mutable std::pair<Clock::Date, Clock::Date> lastWindow;
    int accessRequests = 0;
};

// A meeting titled after its id, at times in Berlin.
inline CalendarEvent meeting(const char* id, const char* start, const char* end) {
    CalendarEvent event;
    event.identifier = QString::fromLatin1(id);
    event.title = QString::fromLatin1(id);
    event.start = at(start);
    event.end = at(end);
    return event;
}

} // namespace orlet::test
