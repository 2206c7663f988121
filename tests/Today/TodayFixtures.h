#pragma once

#include "Platform/Clock.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QTimeZone>

namespace orlet::test {

// The zone the recorded calendars are read in: it changes its clocks on other days than New
// York does.
inline QTimeZone berlin() {
    return QTimeZone("Europe/Berlin");
}

// "2026-01-12 10:00" in Berlin.
inline Clock::Date at(const char* text) {
    const QDateTime time =
        QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QDateTime shortTime =
        QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd HH:mm"));
    const QDateTime local = time.isValid() ? time : shortTime;
    return Clock::Date(std::chrono::milliseconds(
        QDateTime(local.date(), local.time(), berlin()).toMSecsSinceEpoch()));
}

inline QString berlinText(Clock::Date date) {
    return QDateTime::fromMSecsSinceEpoch(
               std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch())
                   .count(),
               berlin())
        .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

inline QByteArray todayFixture(const char* name) {
    QFile file(QStringLiteral(ORLET_TODAY_FIXTURES "/") + QString::fromLatin1(name));
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

} // namespace orlet::test
