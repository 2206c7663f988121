#pragma once

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <functional>
#include <stdexcept>

namespace orlet::test {

// A recorded (or derived) answer from the fixtures folder.
inline QByteArray fixture(const QString& name) {
    QFile file(QStringLiteral(ORLET_WEATHER_FIXTURES "/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("missing fixture " + name.toStdString());
    }
    return file.readAll();
}

inline QJsonObject fixtureObject(const QString& name) {
    return QJsonDocument::fromJson(fixture(name)).object();
}

inline QByteArray bytes(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// Sets `block`.`key`[index] of an answer.
inline void setHourly(QJsonObject& answer, const QString& key, int index, const QJsonValue& value) {
    QJsonObject hourly = answer.value(QStringLiteral("hourly")).toObject();
    QJsonArray list = hourly.value(key).toArray();
    list[index] = value;
    hourly[key] = list;
    answer[QStringLiteral("hourly")] = hourly;
}

// Edits one block of an answer in place.
inline void editBlock(QJsonObject& answer, const QString& block,
                      const std::function<void(QJsonObject&)>& edit) {
    QJsonObject object = answer.value(block).toObject();
    edit(object);
    answer[block] = object;
}

} // namespace orlet::test
