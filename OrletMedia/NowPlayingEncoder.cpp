#include "OrletMedia/NowPlayingEncoder.h"

#include <QByteArray>
#include <cinttypes>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace orlet {
namespace {

template <typename T> nlohmann::json orNull(const std::optional<T>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

// Compact, one line; bytes that are not UTF-8 are replaced instead of losing the message.
std::string line(const nlohmann::json& message) {
    return message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

} // namespace

std::string NowPlayingEncoder::nothingPlaying() {
    lastArtworkID_.reset();
    return line({{"type", "nowPlaying"}, {"playing", false}});
}

std::string NowPlayingEncoder::encode(const NowPlayingSnapshot& snapshot) {
    if (!snapshot.title || snapshot.title->empty()) {
        return nothingPlaying();
    }
    std::optional<std::string> id;
    if (snapshot.artwork) {
        id = artworkID(*snapshot.artwork);
    }
    nlohmann::json message = {
        {"type", "nowPlaying"},
        {"title", *snapshot.title},
        {"artist", orNull(snapshot.artist)},
        {"album", orNull(snapshot.album)},
        {"duration", orNull(snapshot.duration)},
        {"elapsed", orNull(snapshot.elapsed)},
        {"rate", orNull(snapshot.rate)},
        {"timestamp", orNull(snapshot.timestamp)},
        {"playing", snapshot.playing},
        {"bundleID", orNull(snapshot.bundleID)},
        {"parentBundleID", orNull(snapshot.parentBundleID)},
        {"artworkID", orNull(id)},
    };
    if (id && id != lastArtworkID_) {
        const QByteArray bytes = QByteArray::fromRawData(
            snapshot.artwork->data(), static_cast<qsizetype>(snapshot.artwork->size()));
        message["artwork"] = bytes.toBase64().toStdString();
        lastArtworkID_ = id;
    }
    return line(message);
}

std::string NowPlayingEncoder::ready() {
    return line({{"type", "ready"}});
}

std::string NowPlayingEncoder::error(std::string_view message) {
    return line({{"type", "error"}, {"message", message}});
}

std::string NowPlayingEncoder::artworkID(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%zu-%" PRIx64, bytes.size(), hash);
    return text;
}

} // namespace orlet
