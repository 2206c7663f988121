#include "Today/CalendarService.h"

#include "Platform/DefaultsStore.h"
#include "Platform/Log.h"
#include "Today/ICalCalendarStore.h"
#include "Today/MeetingLink.h"
#include "Today/WakeWatcher.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QNetworkAccessManager>
#include <algorithm>
#include <charconv>
#include <cmath>

namespace orlet {

namespace {

using namespace std::chrono_literals;

Clock::Date dateOf(const QDateTime& time) {
    return Clock::Date(std::chrono::milliseconds(time.toMSecsSinceEpoch()));
}

QDateTime qtDate(Clock::Date date, const QTimeZone& zone) {
    return QDateTime::fromMSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count(),
        zone);
}

} // namespace

CalendarService::CalendarService(Environment environment, QObject* parent)
    : QObject(parent), env_(std::move(environment)) {}

CalendarService::~CalendarService() {
    if (observing_) {
        env_.store.onChange = nullptr;
    }
}

CalendarService& CalendarService::shared() {
    static CalendarService* const service = [] {
        // Parented to the application, so the network and the worker go while Qt still runs.
        QObject* application = QCoreApplication::instance();
        auto* network = new QNetworkAccessManager(application);
        auto* store = new ICalCalendarStore(
            ICalCalendarStore::Environment{Clock::shared(), DefaultsStore::shared(), *network,
                                           ICalCalendarStore::dataHomeFromEnvironment(),
                                           ICalCalendarStore::configHomeFromEnvironment()},
            application);
        auto* created = new CalendarService(Environment{Clock::shared(), *store}, application);
        // The service talks to its store until its last line, and the store to the network:
        // each goes after its user.
        store->setParent(created);
        network->setParent(store);
        // The next wake-up waits on the monotonic clock, which sleep stops: after a wake the
        // meetings and their reminder times are looked at again.
        auto* wake = new WakeWatcher(std::nullopt, created);
        wake->onWake = [created] { created->reload(); };
        wake->start();
        return created;
    }();
    return *service;
}

QColor CalendarService::defaultColor() {
    return QColor(0, 122, 255);
}

QString CalendarService::secondsText(Clock::Date date) {
    const double seconds = std::chrono::duration<double>(date.time_since_epoch()).count();
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, seconds);
    std::string text(buffer, error == std::errc() ? end : buffer);
    if (text.find_first_of(".e") == std::string::npos) {
        text += ".0";
    }
    return QString::fromStdString(text);
}

void CalendarService::start() {
    updateAccess();
    env_.store.onChange = [this] { reload(); };
    observing_ = true;
    reload();
}

void CalendarService::requestAccess() {
    env_.store.requestAccess([this] {
        updateAccess();
        reload();
    });
}

void CalendarService::updateAccess() {
    Access access = Access::notDetermined;
    switch (env_.store.access()) {
    case CalendarStore::Access::none:
        access = Access::notDetermined;
        break;
    case CalendarStore::Access::readable:
        access = Access::granted;
        break;
    case CalendarStore::Access::failed:
        access = Access::denied;
        break;
    }
    if (access != access_) {
        access_ = access;
        emit accessChanged();
    }
    if (const QString problem = env_.store.problem(); problem != problem_) {
        problem_ = problem;
        emit problemChanged();
    }
}

Clock::Date CalendarService::startOfTomorrow() const {
    // The next calendar day, not 24 hours on: days with a clock change are 23 or 25 hours long.
    const QDate today = qtDate(env_.clock.date(), env_.timeZone).date();
    return dateOf(QDateTime(today.addDays(1), QTime(0, 0), env_.timeZone));
}

double CalendarService::secondsUntil(Clock::Date date) const {
    return std::chrono::duration<double>(date - env_.clock.date()).count();
}

void CalendarService::reload() {
    // Calendars come and go with files and downloads, so their state is read on every load.
    updateAccess();
    std::vector<Meeting> meetings;
    if (access_ == Access::granted) {
        const Clock::Date now = env_.clock.date();
        std::vector<CalendarEvent> events = env_.store.events(now - 1h, startOfTomorrow());
        std::erase_if(events, [now](const CalendarEvent& event) {
            return event.allDay || event.end <= now || event.declined;
        });
        std::stable_sort(
            events.begin(), events.end(),
            [](const CalendarEvent& a, const CalendarEvent& b) { return a.start < b.start; });
        for (const CalendarEvent& event : events) {
            if (meetings.size() == maxMeetings) {
                break;
            }
            const QString title = event.title && !event.title->trimmed().isEmpty()
                                      ? *event.title
                                      : QStringLiteral("Untitled");
            meetings.push_back(Meeting{
                event.identifier + secondsText(event.start),
                title,
                event.start,
                event.end,
                event.color && event.color->isValid() ? *event.color : defaultColor(),
                MeetingLink::find({event.url, event.location, event.notes}),
            });
        }
    }
    if (meetings != upcoming_) {
        upcoming_ = std::move(meetings);
        emit upcomingChanged();
    }
    if (access_ == Access::granted) {
        scheduleNextWakeUp();
    } else {
        scheduler_.cancel();
        nextWakeUp_.reset();
    }
}

void CalendarService::scheduleNextWakeUp() {
    scheduler_.cancel();
    const Clock::Date now = env_.clock.date();
    Clock::Date next = startOfTomorrow() + 1s;
    bool dueNow = false;
    for (const Meeting& meeting : upcoming_) {
        const Clock::Date remindAt = meeting.start - 300s;
        if (remindAt > now) {
            next = std::min(next, remindAt);
        } else if (!remindedIDs_.contains(meeting.id)) {
            // It came into the list inside its reminder window (a late start, an event just
            // added): the reminder is due now, not at the meeting's end.
            const double until = secondsUntil(meeting.start);
            dueNow = dueNow || (until > -60 && until <= reminderLead + 5);
        }
        if (meeting.end > now) {
            next = std::min(next, meeting.end);
        }
    }
    Clock::Duration delay =
        dueNow ? Clock::Duration::zero() : std::max<Clock::Duration>(next - now, 1s);
    nextWakeUp_ = now + std::chrono::duration_cast<Clock::Date::duration>(delay);
    scheduler_ = env_.clock.schedule(delay, [this] {
        nextWakeUp_.reset();
        remindIfDue();
        reload();
    });
}

void CalendarService::remindIfDue() {
    for (const Meeting& meeting : upcoming_) {
        if (remindedIDs_.contains(meeting.id)) {
            continue;
        }
        const double seconds = secondsUntil(meeting.start);
        if (seconds <= -60 || seconds > reminderLead + 5) {
            continue;
        }
        remindedIDs_.insert(meeting.id);
        const long minutes = std::lround(seconds / 60);
        const QString text =
            minutes >= 1 ? QStringLiteral("In %1 min").arg(minutes) : QStringLiteral("Starting");
        qCDebug(logApp()).noquote() << "Meeting reminder for" << meeting.title << ":" << text;
        if (showTransient) {
            showTransient(TransientActivity::alert(QStringLiteral("calendar"), text,
                                                   TransientActivity::Severity::warning));
        }
    }
}

} // namespace orlet
