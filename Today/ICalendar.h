#pragma once

#include "Today/CalendarEvent.h"

#include <QByteArray>
#include <QStringList>
#include <QTimeZone>
#include <memory>
#include <variant>
#include <vector>

struct icalcomponent_impl;

namespace orlet {

// One parsed iCalendar stream (one or more VCALENDAR objects). Parsing may run on any thread;
// afterwards the object is used from one thread at a time.
class ICalendar {
public:
    // Guards against rules that would run for ever (FREQ=SECONDLY since 1970).
    static constexpr int maxInstancesPerEvent = 20000;

    // Sets libical up; called on the main thread before parsing starts elsewhere.
    static void prepare();

    // The calendar, or the reason it is not one, in words for the user.
    static std::variant<ICalendar, QString> parse(const QByteArray& text);

    ICalendar(ICalendar&&) noexcept;
    ICalendar& operator=(ICalendar&&) noexcept;
    ~ICalendar();

    // Every occurrence that overlaps [from, to), cancelled ones left out. Floating times and
    // dates are read in `local`. `userAddresses` are the user's own e-mail addresses (lower
    // case) besides the one the calendar names as its owner.
    std::vector<CalendarEvent> occurrences(Clock::Date from, Clock::Date to, const QTimeZone& local,
                                           const QStringList& userAddresses = {}) const;

    // What the calendar says about itself.
    const std::optional<QString>& name() const { return name_; }
    const std::optional<QColor>& color() const { return color_; }
    // The owner's address, when the calendar's name is one (as subscribed calendars name it).
    const std::optional<QString>& owner() const { return owner_; }
    std::size_t eventCount() const { return eventCount_; }

    // A colour as calendars write it: "#RRGGBB", "#RRGGBBAA" or a CSS name.
    static std::optional<QColor> colorFrom(const QString& text);

private:
    struct Free {
        void operator()(icalcomponent_impl* component) const;
    };

    explicit ICalendar(icalcomponent_impl* root);

    std::unique_ptr<icalcomponent_impl, Free> root_;
    std::optional<QString> name_;
    std::optional<QColor> color_;
    std::optional<QString> owner_;
    std::size_t eventCount_ = 0;
};

} // namespace orlet
