#pragma once

#include "Platform/Clock.h"

#include <QObject>
#include <QString>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

class QNetworkAccessManager;
class QNetworkReply;

namespace orlet {

// The image bytes behind a player's mpris:artUrl, exactly as they are encoded. Local files and
// data: URLs are read at once; http(s) images are fetched in the background, kept by URL, and
// announced through `onFetched` so the state can be reported again.
class ArtworkStore : public QObject {
    Q_OBJECT
public:
    static constexpr std::size_t maximumBytes = 16 * 1024 * 1024;
    static constexpr std::size_t cacheSize = 8;
    static constexpr std::chrono::seconds fetchTimeout{5};

    explicit ArtworkStore(Clock& clock, QObject* parent = nullptr);
    ~ArtworkStore() override;

    std::function<void()> onFetched;

    // The bytes now, or none: none yet while a fetch runs, none for good when it failed.
    std::optional<std::string> lookup(const QString& url);

    // "data:[<type>][;base64],<data>": Base64 or percent-encoded bytes.
    static std::optional<std::string> decodeDataUrl(const QString& url);
    // Regular files only, so a FIFO or a device named by a player cannot stall or flood us.
    static std::optional<std::string> readFile(const QString& path);

private:
    struct Fetch;

    void fetch(const QString& url);
    void fetched(const QString& url, std::optional<std::string> bytes);

    Clock& clock_;
    std::unique_ptr<QNetworkAccessManager> network_;
    // Newest first; failures are kept too, so a dead URL is not asked for again and again.
    std::deque<std::pair<QString, std::optional<std::string>>> cache_;
    std::map<QString, std::unique_ptr<Fetch>> fetches_;
};

} // namespace orlet
