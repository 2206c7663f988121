#include "Media/NativePlayerState.h"

#include <QStringList>
#include <QVariantList>
#include <cmath>

namespace orlet {
namespace {

std::optional<std::string> text(const QVariant& value) {
    if (value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

// xesam:artist is a list of names; a few players send a single string instead.
std::optional<std::string> names(const QVariant& value) {
    if (value.typeId() == QMetaType::QString) {
        return value.toString().toStdString();
    }
    QStringList list;
    if (value.typeId() == QMetaType::QStringList) {
        list = value.toStringList();
    } else if (value.typeId() == QMetaType::QVariantList) {
        for (const QVariant& item : value.toList()) {
            if (item.typeId() == QMetaType::QString) {
                list.append(item.toString());
            }
        }
    } else {
        return std::nullopt;
    }
    list.removeAll(QString());
    return list.join(QStringLiteral(", ")).toStdString();
}

// MPRIS says int64, but players send any integer type, and some a double.
std::optional<double> number(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float: {
        const double result = value.toDouble();
        return std::isfinite(result) ? std::optional<double>(result) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<std::string> nonEmpty(std::optional<std::string> value) {
    return value && !value->empty() ? value : std::nullopt;
}

} // namespace

std::optional<NativePlayerState::PlayerState> NativePlayerState::playerState(std::string_view raw) {
    if (raw == "Playing") {
        return PlayerState::playing;
    }
    if (raw == "Paused") {
        return PlayerState::paused;
    }
    if (raw == "Stopped") {
        return PlayerState::stopped;
    }
    return std::nullopt;
}

std::optional<NativePlayerState> NativePlayerState::fromProperties(std::string bundleID,
                                                                   const QVariantMap& properties,
                                                                   Clock::Date now) {
    const std::optional<std::string> status =
        text(properties.value(QStringLiteral("PlaybackStatus")));
    const std::optional<PlayerState> state = status ? playerState(*status) : std::nullopt;
    if (!state) {
        return std::nullopt;
    }
    const QVariantMap metadata = properties.value(QStringLiteral("Metadata")).toMap();
    NativePlayerState result;
    result.bundleID = std::move(bundleID);
    result.state = *state;
    result.title = text(metadata.value(QStringLiteral("xesam:title"))).value_or("");
    // Shown texts are never empty: an empty one is as good as none.
    result.artist = nonEmpty(names(metadata.value(QStringLiteral("xesam:artist"))));
    result.album = nonEmpty(text(metadata.value(QStringLiteral("xesam:album"))));
    if (const auto length = number(metadata.value(QStringLiteral("mpris:length")));
        length && *length > 0) {
        result.duration = *length / 1e6;
    }
    if (const auto position = number(properties.value(QStringLiteral("Position")))) {
        result.position = std::max(*position, 0.0) / 1e6;
    }
    result.positionDate = now;
    result.updatedAt = now;
    if (result.state != PlayerState::stopped && result.title.empty()) {
        return std::nullopt;
    }
    return result;
}

NowPlayingInfo NativePlayerState::info() const {
    NowPlayingInfo info;
    info.title = title;
    info.artist = artist;
    info.album = album;
    info.duration = duration;
    info.elapsed = position;
    info.timestamp = positionDate;
    info.rate = 1;
    info.isPlaying = state == PlayerState::playing;
    info.appBundleID = bundleID;
    return info;
}

bool NativePlayerState::prefersNative(const std::optional<NativePlayerState>& native,
                                      const std::optional<NowPlayingInfo>& remote,
                                      Clock::Date remoteChangedAt) {
    if (!native || native->state == PlayerState::stopped) {
        return false;
    }
    if (!remote) {
        return true;
    }
    // The helper already reports this very player.
    if (remote->appBundleID && *remote->appBundleID == native->bundleID) {
        return false;
    }
    if (native->state == PlayerState::playing && !remote->isPlaying) {
        return true;
    }
    if (native->state == PlayerState::paused && remote->isPlaying) {
        return false;
    }
    return native->updatedAt > remoteChangedAt;
}

} // namespace orlet
