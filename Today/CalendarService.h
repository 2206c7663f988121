#pragma once

#include "HUD/TransientActivity.h"
#include "Platform/Clock.h"
#include "Today/CalendarStore.h"

#include <QColor>
#include <QObject>
#include <QSet>
#include <QTimeZone>
#include <QUrl>
#include <functional>
#include <optional>
#include <vector>

namespace orlet {

// The next three meetings of today, with their join links, and a reminder in the notch
// shortly before each starts. Wakes only when something is due: five minutes before a
// meeting, when one ends, and just after midnight.
class CalendarService : public QObject {
    Q_OBJECT

public:
    enum class Access { notDetermined, granted, denied };

    struct Meeting {
        // The event's identifier followed by its start in seconds since 1970, so each
        // occurrence of a repeating event is distinct.
        QString id;
        QString title;
        Clock::Date start;
        Clock::Date end;
        QColor color;
        std::optional<QUrl> joinURL;

        bool operator==(const Meeting&) const = default;
    };

    struct Environment {
        Clock& clock;
        CalendarStore& store;
        // Where "today" begins and ends.
        QTimeZone timeZone = QTimeZone::systemTimeZone();
    };

    static constexpr int maxMeetings = 3;
    static constexpr double reminderLead = 300;

    explicit CalendarService(Environment environment, QObject* parent = nullptr);
    ~CalendarService() override;

    // The service of the program, over the user's calendars.
    static CalendarService& shared();

    void start();
    void requestAccess();
    void reload();

    Access access() const { return access_; }
    const std::vector<Meeting>& upcoming() const { return upcoming_; }
    // Why calendars could not be read, for the user; empty when all read.
    QString problem() const { return problem_; }
    // When the service wakes next, if it waits.
    std::optional<Clock::Date> nextWakeUp() const { return nextWakeUp_; }

    // The system blue, for events whose calendar names no colour.
    static QColor defaultColor();
    // A start as the id writes it: 1733760000.0.
    static QString secondsText(Clock::Date date);

    // Set by the owner before start(): where reminders go.
    std::function<void(const TransientActivity&)> showTransient;

signals:
    void accessChanged();
    void upcomingChanged();
    void problemChanged();

private:
    void updateAccess();
    void scheduleNextWakeUp();
    void remindIfDue();
    Clock::Date startOfTomorrow() const;
    double secondsUntil(Clock::Date date) const;

    Environment env_;
    Access access_ = Access::notDetermined;
    QString problem_;
    std::vector<Meeting> upcoming_;
    DelayedJob scheduler_;
    std::optional<Clock::Date> nextWakeUp_;
    QSet<QString> remindedIDs_;
    bool observing_ = false;
};

} // namespace orlet
