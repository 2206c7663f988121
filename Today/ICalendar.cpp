#include "Today/ICalendar.h"

#include <QDateTime>
#include <QRegularExpression>
#include <algorithm>
#include <libical/ical.h>
#include <map>
#include <mutex>
#include <set>

namespace orlet {

namespace {

using Seconds = std::int64_t;

Clock::Date dateOf(Seconds seconds) {
    return Clock::Date(std::chrono::seconds(seconds));
}

Seconds secondsOf(Clock::Date date) {
    return std::chrono::duration_cast<std::chrono::seconds>(date.time_since_epoch()).count();
}

std::optional<QString> text(const char* value) {
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return QString::fromUtf8(value);
}

// A property of `component` by its name, for the extension properties libical has no getter
// for.
icalproperty* propertyNamed(icalcomponent* component, const char* name) {
    for (icalproperty* property = icalcomponent_get_first_property(component, ICAL_ANY_PROPERTY);
         property != nullptr;
         property = icalcomponent_get_next_property(component, ICAL_ANY_PROPERTY)) {
        const char* own = icalproperty_get_property_name(property);
        if (own != nullptr && qstricmp(own, name) == 0) {
            return property;
        }
    }
    return nullptr;
}

std::optional<QString> valueNamed(icalcomponent* component, const char* name) {
    icalproperty* property = propertyNamed(component, name);
    return property != nullptr ? text(icalproperty_get_value_as_string(property)) : std::nullopt;
}

const char* tzidOf(icalproperty* property) {
    icalparameter* parameter = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
    return parameter != nullptr ? icalparameter_get_tzid(parameter) : nullptr;
}

// The zone a wall time is read in: a VTIMEZONE of the file, a zone of the system's database,
// UTC, or the user's own zone for floating times and dates.
class EventZone {
public:
    static EventZone utc() {
        EventZone zone;
        zone.qt_ = QTimeZone::utc();
        return zone;
    }

    static EventZone resolve(icalcomponent* calendar, const char* tzid, const QTimeZone& local) {
        EventZone zone;
        zone.qt_ = local;
        if (tzid == nullptr || *tzid == '\0') {
            return zone;
        }
        if (calendar != nullptr) {
            if (icaltimezone* own = icalcomponent_get_timezone(calendar, tzid)) {
                zone.ical_ = own;
                return zone;
            }
        }
        const QByteArray id(tzid);
        // Known names only: Qt would read an unknown one as a POSIX rule, mostly as UTC.
        if (QTimeZone::isTimeZoneIdAvailable(id)) {
            zone.qt_ = QTimeZone(id);
            return zone;
        }
        // Exchange writes Windows names ("W. Europe Standard Time").
        if (const QByteArray iana = QTimeZone::windowsIdToDefaultIanaId(id);
            QTimeZone::isTimeZoneIdAvailable(iana)) {
            zone.qt_ = QTimeZone(iana);
            return zone;
        }
        // Older Evolution prefixes the database name with a path.
        for (qsizetype slash = id.indexOf('/'); slash >= 0; slash = id.indexOf('/', slash + 1)) {
            if (const QByteArray tail = id.mid(slash + 1); QTimeZone::isTimeZoneIdAvailable(tail)) {
                zone.qt_ = QTimeZone(tail);
                return zone;
            }
        }
        return zone;
    }

    // The instant of a wall time in this zone.
    Seconds toEpoch(const icaltimetype& wall) const {
        if (ical_ != nullptr) {
            icaltimetype plain = wall;
            plain.zone = nullptr;
            plain.is_date = 0;
            return static_cast<Seconds>(icaltime_as_timet_with_zone(plain, ical_));
        }
        const QDateTime at(QDate(wall.year, wall.month, wall.day),
                           wall.is_date ? QTime(0, 0) : QTime(wall.hour, wall.minute, wall.second),
                           qt_);
        return at.toSecsSinceEpoch();
    }

    icaltimetype toWall(Seconds epoch) const {
        if (ical_ != nullptr) {
            icaltimetype wall = icaltime_from_timet_with_zone(static_cast<time_t>(epoch), 0,
                                                              const_cast<icaltimezone*>(ical_));
            wall.zone = nullptr;
            return wall;
        }
        const QDateTime at = QDateTime::fromSecsSinceEpoch(epoch, qt_);
        icaltimetype wall = icaltime_null_time();
        wall.year = at.date().year();
        wall.month = at.date().month();
        wall.day = at.date().day();
        wall.hour = at.time().hour();
        wall.minute = at.time().minute();
        wall.second = at.time().second();
        return wall;
    }

private:
    const icaltimezone* ical_ = nullptr;
    QTimeZone qt_;
};

// A time value with the zone its property names; UTC values carry their own.
Seconds epochOf(const icaltimetype& time, icalproperty* property, icalcomponent* calendar,
                const QTimeZone& local) {
    if (icaltime_is_utc(time)) {
        return EventZone::utc().toEpoch(time);
    }
    if (time.is_date) {
        return EventZone::resolve(nullptr, nullptr, local).toEpoch(time);
    }
    return EventZone::resolve(calendar, tzidOf(property), local).toEpoch(time);
}

// What one VEVENT says, resolved against its calendar.
struct EventShape {
    icalcomponent* component = nullptr;
    icalcomponent* calendar = nullptr;
    QString uid;
    icaltimetype dtstart = icaltime_null_time();
    EventZone zone;
    Seconds start = 0;
    bool allDay = false;
    // Length in days for all-day events, in seconds otherwise.
    Seconds length = 0;
    bool cancelled = false;
};

std::optional<EventShape> shapeOf(icalcomponent* event, const QTimeZone& local) {
    icalproperty* startProperty = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
    if (startProperty == nullptr) {
        return std::nullopt;
    }
    EventShape shape;
    shape.component = event;
    shape.calendar = icalcomponent_get_parent(event);
    shape.uid = QString::fromUtf8(icalcomponent_get_uid(event));
    shape.dtstart = icalproperty_get_dtstart(startProperty);
    if (icaltime_is_null_time(shape.dtstart) || !icaltime_is_valid_time(shape.dtstart)) {
        return std::nullopt;
    }
    shape.allDay = shape.dtstart.is_date != 0;
    shape.zone = icaltime_is_utc(shape.dtstart) ? EventZone::utc()
                 : shape.allDay                 ? EventZone::resolve(nullptr, nullptr, local)
                                : EventZone::resolve(shape.calendar, tzidOf(startProperty), local);
    shape.start = shape.zone.toEpoch(shape.dtstart);
    shape.cancelled = icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED;

    if (icalproperty* endProperty = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY)) {
        const icaltimetype dtend = icalproperty_get_dtend(endProperty);
        if (shape.allDay) {
            const QDate from(shape.dtstart.year, shape.dtstart.month, shape.dtstart.day);
            const QDate to(dtend.year, dtend.month, dtend.day);
            shape.length = from.isValid() && to.isValid() ? from.daysTo(to) : 1;
        } else {
            shape.length = epochOf(dtend, endProperty, shape.calendar, local) - shape.start;
        }
    } else if (icalproperty* duration =
                   icalcomponent_get_first_property(event, ICAL_DURATION_PROPERTY)) {
        const Seconds seconds = icaldurationtype_as_int(icalproperty_get_duration(duration));
        shape.length = shape.allDay ? seconds / 86400 : seconds;
    } else {
        // RFC 5545: a date alone lasts the day, a date-time alone is an instant.
        shape.length = shape.allDay ? 1 : 0;
    }
    shape.length = std::max<Seconds>(shape.length, shape.allDay ? 1 : 0);
    return shape;
}

// The end of an occurrence starting at `start`: all-day events end at a local midnight, so a
// day with a clock change still ends at midnight.
Seconds endOf(const EventShape& shape, Seconds start, const QTimeZone& local) {
    if (!shape.allDay) {
        return start + shape.length;
    }
    const QDateTime day = QDateTime::fromSecsSinceEpoch(start, local);
    return QDateTime(day.date().addDays(shape.length), QTime(0, 0), local).toSecsSinceEpoch();
}

QString lowerAddress(const char* value) {
    QString address = QString::fromUtf8(value).trimmed().toLower();
    if (address.startsWith(QLatin1String("mailto:"))) {
        address.remove(0, 7);
    }
    return address;
}

bool isDeclined(icalcomponent* event, const QStringList& addresses) {
    if (addresses.isEmpty()) {
        return false;
    }
    for (icalproperty* attendee = icalcomponent_get_first_property(event, ICAL_ATTENDEE_PROPERTY);
         attendee != nullptr;
         attendee = icalcomponent_get_next_property(event, ICAL_ATTENDEE_PROPERTY)) {
        const char* value = icalproperty_get_attendee(attendee);
        if (value == nullptr || !addresses.contains(lowerAddress(value))) {
            continue;
        }
        // The first entry for the user decides.
        icalparameter* status = icalproperty_get_first_parameter(attendee, ICAL_PARTSTAT_PARAMETER);
        return status != nullptr && icalparameter_get_partstat(status) == ICAL_PARTSTAT_DECLINED;
    }
    return false;
}

CalendarEvent eventAt(const EventShape& shape, icalcomponent* fields, Seconds start, Seconds end,
                      const std::optional<QColor>& color, const QStringList& addresses) {
    CalendarEvent event;
    event.identifier = shape.uid;
    event.title = text(icalcomponent_get_summary(fields));
    event.start = dateOf(start);
    event.end = dateOf(end);
    event.allDay = shape.allDay;
    event.declined = isDeclined(fields, addresses);
    event.color = color;
    if (icalproperty* url = icalcomponent_get_first_property(fields, ICAL_URL_PROPERTY)) {
        event.url = text(icalproperty_get_url(url));
    }
    if (!event.url) {
        // Google keeps the call's link here rather than in URL.
        event.url = valueNamed(fields, "X-GOOGLE-CONFERENCE");
    }
    event.location = text(icalcomponent_get_location(fields));
    event.notes = text(icalcomponent_get_description(fields));
    return event;
}

std::vector<icalcomponent*> calendarsIn(icalcomponent* root) {
    std::vector<icalcomponent*> calendars;
    if (icalcomponent_isa(root) == ICAL_VCALENDAR_COMPONENT) {
        calendars.push_back(root);
    } else {
        for (icalcomponent* child =
                 icalcomponent_get_first_component(root, ICAL_VCALENDAR_COMPONENT);
             child != nullptr;
             child = icalcomponent_get_next_component(root, ICAL_VCALENDAR_COMPONENT)) {
            calendars.push_back(child);
        }
    }
    return calendars;
}

std::vector<icalcomponent*> eventsIn(icalcomponent* root) {
    std::vector<icalcomponent*> events;
    for (icalcomponent* calendar : calendarsIn(root)) {
        for (icalcomponent* event =
                 icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT);
             event != nullptr;
             event = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
            events.push_back(event);
        }
    }
    return events;
}

// Instance starts of a repeating event from its rules, dates and exceptions, up to `to`.
std::set<Seconds> instanceStarts(const EventShape& shape, Seconds from, Seconds to,
                                 const QTimeZone& local) {
    std::set<Seconds> starts;
    icalcomponent* event = shape.component;
    const auto keep = [&](Seconds start) {
        if (start < to) {
            starts.insert(start);
        }
    };
    keep(shape.start);
    // An all-day event ends a day later in wall time, whatever its length in seconds.
    const Seconds reach = shape.allDay ? (shape.length + 1) * 86400 + 7200 : shape.length;

    for (icalproperty* property = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
         property != nullptr;
         property = icalcomponent_get_next_property(event, ICAL_RRULE_PROPERTY)) {
        icalrecurrencetype rule = icalproperty_get_rrule(property);
        std::optional<Seconds> until;
        if (!icaltime_is_null_time(rule.until)) {
            if (rule.until.is_date) {
                icaltimetype nextDay = rule.until;
                icaltime_adjust(&nextDay, 1, 0, 0, 0);
                until = shape.zone.toEpoch(nextDay) - 1;
            } else {
                until = icaltime_is_utc(rule.until) ? EventZone::utc().toEpoch(rule.until)
                                                    : shape.zone.toEpoch(rule.until);
            }
            // Compared here as instants: libical would compare a UTC limit with wall times.
            rule.until = icaltime_null_time();
        }
        icaltimetype wallStart = shape.dtstart;
        wallStart.zone = nullptr;
        icalrecur_iterator* iterator = icalrecur_iterator_new(rule, wallStart);
        if (iterator == nullptr) {
            continue;
        }
        // Far-off windows skip ahead rather than walk every instance since the first.
        const Seconds skipTo = from - reach - 2 * 86400;
        if (rule.count == 0 && skipTo > shape.start) {
            icaltimetype wall = shape.zone.toWall(skipTo);
            wall.is_date = shape.dtstart.is_date;
            icalrecur_iterator_set_start(iterator, wall);
        }
        for (int made = 0; made < ICalendar::maxInstancesPerEvent; ++made) {
            const icaltimetype next = icalrecur_iterator_next(iterator);
            if (icaltime_is_null_time(next)) {
                break;
            }
            const Seconds start = shape.zone.toEpoch(next);
            if (start >= to || (until && start > *until)) {
                break;
            }
            if (start + reach >= from) {
                keep(start);
            }
        }
        icalrecur_iterator_free(iterator);
    }
    for (icalproperty* property = icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY);
         property != nullptr;
         property = icalcomponent_get_next_property(event, ICAL_RDATE_PROPERTY)) {
        const icaldatetimeperiodtype date = icalproperty_get_rdate(property);
        const icaltimetype time = icaltime_is_null_time(date.time) ? date.period.start : date.time;
        if (!icaltime_is_null_time(time)) {
            keep(epochOf(time, property, shape.calendar, local));
        }
    }
    for (icalproperty* property = icalcomponent_get_first_property(event, ICAL_EXDATE_PROPERTY);
         property != nullptr;
         property = icalcomponent_get_next_property(event, ICAL_EXDATE_PROPERTY)) {
        const icaltimetype time = icalproperty_get_exdate(property);
        if (icaltime_is_null_time(time)) {
            continue;
        }
        if (time.is_date && !shape.allDay) {
            // A date excludes every instance on that day.
            const QDate day(time.year, time.month, time.day);
            std::erase_if(starts, [&](Seconds start) {
                return QDateTime::fromSecsSinceEpoch(start, local).date() == day;
            });
        } else {
            starts.erase(epochOf(time, property, shape.calendar, local));
        }
    }
    return starts;
}

void prepareLibical() {
    static std::once_flag once;
    std::call_once(once, [] {
        // libical aborts on malformed input unless told otherwise.
        icalerror_set_errors_are_fatal(0);
        // Its UTC zone is set up on first use; done once here rather than racing on two
        // threads.
        icaltimezone_get_utc_timezone();
    });
}

} // namespace

void ICalendar::Free::operator()(icalcomponent_impl* component) const {
    icalcomponent_free(component);
}

ICalendar::ICalendar(icalcomponent_impl* root) : root_(root) {
    for (icalcomponent* calendar : calendarsIn(root)) {
        if (!name_) {
            name_ = valueNamed(calendar, "X-WR-CALNAME");
        }
        if (!color_) {
            for (const char* key : {"COLOR", "X-APPLE-CALENDAR-COLOR", "X-OUTLOOK-COLOR"}) {
                if (const std::optional<QString> value = valueNamed(calendar, key)) {
                    if ((color_ = colorFrom(*value))) {
                        break;
                    }
                }
            }
        }
    }
    static const QRegularExpression address(QStringLiteral("^[^@\\s]+@[^@\\s]+\\.[^@\\s]+$"));
    if (name_ && address.match(name_->trimmed()).hasMatch()) {
        owner_ = name_->trimmed().toLower();
    }
    eventCount_ = eventsIn(root).size();
}

ICalendar::ICalendar(ICalendar&&) noexcept = default;
ICalendar& ICalendar::operator=(ICalendar&&) noexcept = default;
ICalendar::~ICalendar() = default;

void ICalendar::prepare() {
    prepareLibical();
}

std::variant<ICalendar, QString> ICalendar::parse(const QByteArray& text) {
    prepareLibical();
    if (text.trimmed().isEmpty()) {
        return QStringLiteral("the calendar is empty");
    }
    if (!text.contains("BEGIN:VCALENDAR")) {
        return QStringLiteral("it isn't a calendar");
    }
    icalcomponent* root = icalparser_parse_string(text.constData());
    // libical gives nothing for a stream whose VCALENDAR never closes: a download cut off.
    if (root == nullptr) {
        return QStringLiteral("the calendar is cut off or damaged");
    }
    if (calendarsIn(root).empty()) {
        icalcomponent_free(root);
        return QStringLiteral("the calendar is cut off or damaged");
    }
    return ICalendar(root);
}

std::optional<QColor> ICalendar::colorFrom(const QString& text) {
    QString value = text.trimmed();
    // Apple writes #RRGGBBAA; Qt would read eight digits as #AARRGGBB.
    if (value.size() == 9 && value.startsWith(QLatin1Char('#'))) {
        value.truncate(7);
    }
    const QColor color = QColor::fromString(value);
    return color.isValid() ? std::optional<QColor>(color) : std::nullopt;
}

std::vector<CalendarEvent> ICalendar::occurrences(Clock::Date fromDate, Clock::Date toDate,
                                                  const QTimeZone& local,
                                                  const QStringList& userAddresses) const {
    const Seconds from = secondsOf(fromDate);
    const Seconds to = secondsOf(toDate);
    QStringList addresses;
    for (const QString& address : userAddresses) {
        addresses.append(address.trimmed().toLower());
    }
    if (owner_) {
        addresses.append(*owner_);
    }

    // Moved or changed instances, by the instance they replace.
    std::map<QString, std::map<Seconds, icalcomponent*>> overrides;
    std::vector<icalcomponent*> masters;
    for (icalcomponent* event : eventsIn(root_.get())) {
        icalproperty* recurrence =
            icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY);
        if (recurrence == nullptr) {
            masters.push_back(event);
            continue;
        }
        const icaltimetype replaced = icalproperty_get_recurrenceid(recurrence);
        overrides[QString::fromUtf8(icalcomponent_get_uid(event))]
                 [epochOf(replaced, recurrence, icalcomponent_get_parent(event), local)] = event;
    }

    const auto overlaps = [&](Seconds start, Seconds end) {
        return start < to && (end > from || (end == start && start >= from));
    };
    std::vector<CalendarEvent> result;
    for (icalcomponent* master : masters) {
        const std::optional<EventShape> shape = shapeOf(master, local);
        if (!shape || shape->cancelled) {
            continue;
        }
        const auto replaced = overrides.find(shape->uid);
        for (const Seconds start : instanceStarts(*shape, from, to, local)) {
            if (replaced != overrides.end() && replaced->second.contains(start)) {
                continue;
            }
            const Seconds end = endOf(*shape, start, local);
            if (overlaps(start, end)) {
                result.push_back(eventAt(*shape, master, start, end, color_, addresses));
            }
        }
    }
    for (const auto& [uid, instances] : overrides) {
        for (const auto& [replacedStart, component] : instances) {
            const std::optional<EventShape> shape = shapeOf(component, local);
            if (!shape || shape->cancelled) {
                continue;
            }
            const Seconds end = endOf(*shape, shape->start, local);
            if (overlaps(shape->start, end)) {
                result.push_back(eventAt(*shape, component, shape->start, end, color_, addresses));
            }
        }
    }
    std::stable_sort(
        result.begin(), result.end(),
        [](const CalendarEvent& a, const CalendarEvent& b) { return a.start < b.start; });
    return result;
}

} // namespace orlet
