#include "Platform/DefaultsStore.h"

#include "Platform/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace orlet {
namespace {

const QString base64Key = QStringLiteral("base64");

std::optional<DefaultsStore::Value> fromJson(const QJsonValue& json) {
    switch (json.type()) {
    case QJsonValue::Bool:
        return json.toBool();
    case QJsonValue::Double:
        return json.toDouble();
    case QJsonValue::String:
        return json.toString();
    case QJsonValue::Array: {
        QStringList list;
        for (const QJsonValue element : json.toArray()) {
            if (!element.isString()) {
                return std::nullopt;
            }
            list.append(element.toString());
        }
        return list;
    }
    case QJsonValue::Object: {
        const QJsonObject object = json.toObject();
        const QJsonValue encoded = object.value(base64Key);
        if (object.size() != 1 || !encoded.isString()) {
            return std::nullopt;
        }
        auto decoded = QByteArray::fromBase64Encoding(encoded.toString().toLatin1(),
                                                      QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) {
            return std::nullopt;
        }
        return *decoded;
    }
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    return std::nullopt;
}

QJsonValue toJson(const DefaultsStore::Value& value) {
    struct Visitor {
        QJsonValue operator()(bool b) const { return b; }
        QJsonValue operator()(double d) const { return d; }
        QJsonValue operator()(const QString& s) const { return s; }
        QJsonValue operator()(const QStringList& list) const {
            return QJsonArray::fromStringList(list);
        }
        QJsonValue operator()(const QByteArray& bytes) const {
            return QJsonObject{{base64Key, QString::fromLatin1(bytes.toBase64())}};
        }
    };
    return std::visit(Visitor{}, value);
}

} // namespace

DefaultsStore::DefaultsStore(QString filePath, QObject* parent)
    : QObject(parent), filePath_(std::move(filePath)) {
    load();
}

DefaultsStore& DefaultsStore::shared() {
    static DefaultsStore store(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
        QStringLiteral("/orlet/defaults.json"));
    return store;
}

void DefaultsStore::registerDefaults(const QHash<QString, Value>& defaults) {
    registered_.insert(defaults);
}

std::optional<DefaultsStore::Value> DefaultsStore::value(const QString& key) const {
    if (const auto stored = stored_.constFind(key); stored != stored_.constEnd()) {
        return fromJson(*stored);
    }
    if (const auto registered = registered_.constFind(key); registered != registered_.constEnd()) {
        return *registered;
    }
    return std::nullopt;
}

void DefaultsStore::set(const QString& key, const Value& value) {
    if (const double* number = std::get_if<double>(&value); number && !std::isfinite(*number)) {
        qCWarning(logApp()).nospace() << "Not storing the default " << key << " in " << filePath_
                                      << ": " << *number << " cannot be written as JSON";
        return;
    }
    stored_.insert(key, toJson(value));
    save();
    emit changed(key);
}

void DefaultsStore::remove(const QString& key) {
    stored_.remove(key);
    save();
    emit changed(key);
}

void DefaultsStore::load() {
    QFile file(filePath_);
    if (!file.exists()) {
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(logApp()).nospace() << "Cannot read the defaults file " << filePath_ << ": "
                                      << qUtf8Printable(file.errorString()) << "; starting empty";
        return;
    }
    const QByteArray content = file.readAll();
    file.close();

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    if (error.error == QJsonParseError::NoError && document.isObject()) {
        stored_ = document.object();
        return;
    }
    const QString reason =
        error.error != QJsonParseError::NoError
            ? QStringLiteral("%1 at offset %2").arg(error.errorString()).arg(error.offset)
            : QStringLiteral("its top level is not an object");
    // rename(2) replaces an older copy in one step; QFile::rename would refuse to.
    const QString aside = filePath_ + QStringLiteral(".corrupt");
    const int moved =
        std::rename(QFile::encodeName(filePath_).constData(), QFile::encodeName(aside).constData());
    const int why = errno;
    if (moved == 0) {
        qCWarning(logApp()).nospace()
            << "The defaults file " << filePath_ << " is not a JSON object ("
            << qUtf8Printable(reason) << "); kept it as " << aside << " and started empty";
    } else {
        qCWarning(logApp()).nospace()
            << "The defaults file " << filePath_ << " is not a JSON object ("
            << qUtf8Printable(reason) << ") and cannot be moved aside (" << std::strerror(why)
            << "); started empty";
    }
}

void DefaultsStore::save() const {
    const QString folder = QFileInfo(filePath_).absolutePath();
    QSaveFile file(filePath_);
    if (!QDir().mkpath(folder)) {
        qCWarning(logApp()).nospace() << "Cannot write the defaults file " << filePath_
                                      << ": cannot create the folder " << folder;
        return;
    }
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(stored_).toJson(QJsonDocument::Indented)) < 0 || !file.commit()) {
        qCWarning(logApp()).nospace() << "Cannot write the defaults file " << filePath_ << ": "
                                      << qUtf8Printable(file.errorString());
    }
}

} // namespace orlet
