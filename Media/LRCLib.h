#pragma once

#include "Media/LyricsFetcher.h"

#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orlet {

// The client of LRCLIB, the public lyrics service: asks for the one exact record first when
// the query is complete, then searches, and picks the best candidate. Main thread only; the
// transfers themselves run on Qt's network thread.
class LRCLib : public LyricsFetcher {
public:
    // One answer of the service; any field may be missing.
    struct Record {
        std::optional<double> duration;
        std::optional<std::string> syncedLyrics;
        std::optional<std::string> plainLyrics;
        std::optional<bool> instrumental;

        bool operator==(const Record&) const = default;
    };

    using Parameters = std::vector<std::pair<QString, QString>>;

    static constexpr std::chrono::milliseconds defaultTimeout{10000};

    // `baseURL` is the service's root, such as "https://lrclib.net".
    explicit LRCLib(QUrl baseURL, std::chrono::milliseconds timeout = defaultTimeout);
    ~LRCLib() override;

    // "https://lrclib.net", unless ORLET_LYRICS_URL names another root.
    static std::unique_ptr<LRCLib> fromEnvironment();

    std::unique_ptr<Task> fetch(const LyricsQuery& query, Completion done) override;

    // The closest candidate with synced lyrics, else whether any has plain lyrics.
    static LyricsState pick(const std::vector<Record>& candidates, std::optional<double> duration);

    // <base>/api/<operation>?<parameters sorted by name, percent-encoded>.
    QUrl url(const QString& operation, Parameters parameters) const;
    // "Orlet/<version> (Linux notch app)".
    static QByteArray userAgent();

    // The body of an answer, strictly: a missing key or null is absent, any other type fails.
    static std::optional<Record> record(const QJsonValue& value);

    const QUrl& baseURL() const { return baseURL_; }

private:
    class Flight;
    class FlightTask;

    QUrl baseURL_;
    std::chrono::milliseconds timeout_;
    QNetworkAccessManager manager_;
};

} // namespace orlet
