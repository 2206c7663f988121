#include "Media/HelperMessage.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <chrono>
#include <cmath>

namespace orlet {
namespace {

std::optional<std::string> text(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString()) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

std::optional<double> number(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble()) {
        return std::nullopt;
    }
    return value.toDouble();
}

std::optional<std::string> nonEmpty(const std::optional<std::string>& value) {
    return value && !value->empty() ? value : std::nullopt;
}

} // namespace

std::optional<HelperMessage> HelperMessage::decode(std::string_view line) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(line.data(), static_cast<qsizetype>(line.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    std::optional<std::string> type = text(object, "type");
    if (!type) {
        return std::nullopt;
    }
    HelperMessage message;
    message.type = std::move(*type);
    message.message = text(object, "message");
    message.title = text(object, "title");
    message.artist = text(object, "artist");
    message.album = text(object, "album");
    message.duration = number(object, "duration");
    message.elapsed = number(object, "elapsed");
    message.rate = number(object, "rate");
    message.timestamp = number(object, "timestamp");
    if (const QJsonValue playing = object.value(QLatin1String("playing")); playing.isBool()) {
        message.playing = playing.toBool();
    }
    message.bundleID = text(object, "bundleID");
    message.parentBundleID = text(object, "parentBundleID");
    message.artworkID = text(object, "artworkID");
    message.artwork = text(object, "artwork");
    return message;
}

std::optional<NowPlayingInfo> HelperMessage::info() const {
    if (type != "nowPlaying" || !title || title->empty()) {
        return std::nullopt;
    }
    NowPlayingInfo info;
    info.title = *title;
    info.artist = nonEmpty(artist);
    info.album = nonEmpty(album);
    if (duration && *duration > 0) {
        info.duration = duration;
    }
    info.elapsed = elapsed;
    // A timestamp too large for the clock's range would overflow the conversion.
    if (timestamp && std::isfinite(*timestamp) && std::abs(*timestamp) < 1e11) {
        // Whole microseconds: finer steps are below what a double of this size holds.
        info.timestamp = Clock::Date(std::chrono::round<std::chrono::microseconds>(
            std::chrono::duration<double>(*timestamp)));
    }
    info.rate = rate.value_or(1);
    info.isPlaying = playing.value_or(false);
    info.appBundleID = parentBundleID ? parentBundleID : bundleID;
    info.artworkID = artworkID;
    return info;
}

} // namespace orlet
