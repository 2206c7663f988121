#include "OrletMedia/ArtworkStore.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orlet {

struct ArtworkStore::Fetch {
    QNetworkReply* reply = nullptr; // owned by the network manager until deleteLater
    QByteArray bytes;
    DelayedJob timeout;
};

ArtworkStore::ArtworkStore(Clock& clock, QObject* parent) : QObject(parent), clock_(clock) {}

ArtworkStore::~ArtworkStore() {
    for (auto& [url, fetch] : fetches_) {
        QObject::disconnect(fetch->reply, nullptr, this, nullptr);
        fetch->reply->abort();
        fetch->reply->deleteLater();
    }
}

std::optional<std::string> ArtworkStore::lookup(const QString& url) {
    if (url.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
        return decodeDataUrl(url);
    }
    const QUrl parsed(url);
    const QString scheme = parsed.scheme().toLower();
    if (scheme == QLatin1String("file")) {
        return readFile(parsed.toLocalFile());
    }
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        return std::nullopt;
    }
    for (auto entry = cache_.begin(); entry != cache_.end(); ++entry) {
        if (entry->first == url) {
            std::optional<std::string> bytes = entry->second;
            if (entry != cache_.begin()) {
                auto moved = std::move(*entry);
                cache_.erase(entry);
                cache_.push_front(std::move(moved));
            }
            return bytes;
        }
    }
    fetch(url);
    return std::nullopt;
}

std::optional<std::string> ArtworkStore::decodeDataUrl(const QString& url) {
    const qsizetype comma = url.indexOf(QLatin1Char(','));
    if (comma < 0) {
        return std::nullopt;
    }
    const QString header = url.left(comma);
    const QByteArray data = QByteArray::fromPercentEncoding(url.mid(comma + 1).toUtf8());
    if (header.endsWith(QLatin1String(";base64"), Qt::CaseInsensitive)) {
        const auto decoded = QByteArray::fromBase64Encoding(
            data.trimmed(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) {
            return std::nullopt;
        }
        return decoded.decoded.toStdString();
    }
    return data.toStdString();
}

std::optional<std::string> ArtworkStore::readFile(const QString& path) {
    if (path.isEmpty()) {
        return std::nullopt;
    }
    // Non-blocking: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string bytes;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0 &&
        static_cast<std::size_t>(status.st_size) <= maximumBytes) {
        bytes.resize(static_cast<std::size_t>(status.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t count = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                break;
            }
            done += static_cast<std::size_t>(count);
        }
        // A file that shrank while being read is taken as far as it went.
        bytes.resize(done);
    }
    ::close(fd);
    if (bytes.empty()) {
        return std::nullopt;
    }
    return bytes;
}

void ArtworkStore::fetch(const QString& url) {
    if (fetches_.contains(url)) {
        return;
    }
    if (!network_) {
        network_ = std::make_unique<QNetworkAccessManager>();
    }
    QNetworkRequest request{QUrl(url)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    auto fetch = std::make_unique<Fetch>();
    QNetworkReply* reply = network_->get(request);
    fetch->reply = reply;
    fetch->timeout = clock_.schedule(fetchTimeout, [reply] { reply->abort(); });
    Fetch* state = fetch.get();
    connect(reply, &QNetworkReply::readyRead, this, [reply, state] {
        state->bytes += reply->readAll();
        if (static_cast<std::size_t>(state->bytes.size()) > maximumBytes) {
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, url, reply, state] {
        state->bytes += reply->readAll();
        const bool ok = reply->error() == QNetworkReply::NoError && !state->bytes.isEmpty() &&
                        static_cast<std::size_t>(state->bytes.size()) <= maximumBytes;
        fetched(url, ok ? std::optional(state->bytes.toStdString()) : std::nullopt);
    });
    fetches_.emplace(url, std::move(fetch));
}

void ArtworkStore::fetched(const QString& url, std::optional<std::string> bytes) {
    const auto found = fetches_.find(url);
    if (found == fetches_.end()) {
        return;
    }
    found->second->reply->deleteLater();
    fetches_.erase(found);
    cache_.emplace_front(url, std::move(bytes));
    if (cache_.size() > cacheSize) {
        cache_.pop_back();
    }
    if (onFetched) {
        onFetched();
    }
}

} // namespace orlet
