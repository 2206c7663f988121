#include "Media/LRCLib.h"

#include "Media/LRC.h"
#include "Platform/Log.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <limits>

namespace orlet {
namespace {

constexpr auto defaultBase = "https://lrclib.net";

// A failure, or the decoded JSON body of a 200 answer.
using Answer = std::variant<QJsonValue, LyricsFailure>;

LyricsFailure failure(QString description) {
    return LyricsFailure{std::move(description)};
}

// Any JSON value, `null` included, as the whole body.
Answer decode(const QByteArray& body) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson("[" + body + "]", &error);
    if (error.error != QJsonParseError::NoError || !document.isArray() ||
        document.array().size() != 1) {
        return failure(QStringLiteral("The answer is not JSON (%1)")
                           .arg(error.error != QJsonParseError::NoError ? error.errorString()
                                                                        : QStringLiteral("empty")));
    }
    return document.array().at(0);
}

Answer answerOf(QNetworkReply& reply) {
    const QString url = reply.url().toString();
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // Nothing aborts a reply without cancelling the flight first, so this is the time-out.
    if (reply.error() == QNetworkReply::OperationCanceledError ||
        reply.error() == QNetworkReply::TimeoutError) {
        return failure(QStringLiteral("The request timed out: %1").arg(url));
    }
    if (!status.isValid()) {
        return failure(reply.error() != QNetworkReply::NoError
                           ? QStringLiteral("%1: %2").arg(reply.errorString(), url)
                           : QStringLiteral("Bad server response (not HTTP): %1").arg(url));
    }
    const int code = status.toInt();
    if (code == 404) {
        return failure(QStringLiteral("Not found (HTTP 404): %1").arg(url));
    }
    if (code != 200) {
        return failure(QStringLiteral("Bad server response (HTTP %1): %2").arg(code).arg(url));
    }
    if (reply.error() != QNetworkReply::NoError) {
        return failure(QStringLiteral("%1: %2").arg(reply.errorString(), url));
    }
    return decode(reply.readAll());
}

bool hasText(const std::optional<std::string>& text) {
    return text && !text->empty();
}

} // namespace

// One fetch: the optional "get", then the "search", then the choice. Kept alive by the reply
// it waits for and by its task; cancelling drops the reply and the completion.
class LRCLib::Flight : public std::enable_shared_from_this<Flight> {
public:
    Flight(LRCLib& client, LyricsQuery query, Completion done)
        : client_(client), query_(std::move(query)), done_(std::move(done)) {}

    void start() {
        // A duration that is not a finite number has no whole-second form to ask with.
        if (query_.artist && query_.album && query_.duration && std::isfinite(*query_.duration) &&
            std::abs(*query_.duration) < 1e15) {
            request(QStringLiteral("get"),
                    {{QStringLiteral("track_name"), QString::fromStdString(query_.title)},
                     {QStringLiteral("artist_name"), QString::fromStdString(*query_.artist)},
                     {QStringLiteral("album_name"), QString::fromStdString(*query_.album)},
                     {QStringLiteral("duration"),
                      QString::number(static_cast<qint64>(std::llround(*query_.duration)))}},
                    &Flight::received);
        } else {
            search();
        }
    }

    void cancel() {
        cancelled_ = true;
        done_ = nullptr;
        if (QNetworkReply* reply = reply_) {
            reply_ = nullptr;
            QObject::disconnect(connection_);
            reply->abort();
            reply->deleteLater();
        }
    }

private:
    using Step = void (Flight::*)(Answer);

    void request(const QString& operation, Parameters parameters, Step next) {
        QNetworkRequest request(client_.url(operation, std::move(parameters)));
        request.setTransferTimeout(static_cast<int>(client_.timeout_.count()));
        request.setRawHeader("User-Agent", userAgent());
        QNetworkReply* reply = client_.manager_.get(request);
        reply_ = reply;
        connection_ = QObject::connect(reply, &QNetworkReply::finished, reply,
                                       [self = shared_from_this(), reply, next] {
                                           reply->deleteLater();
                                           self->reply_ = nullptr;
                                           if (!self->cancelled_) {
                                               ((*self).*next)(answerOf(*reply));
                                           }
                                       });
    }

    // The answer of "get": one record or null. Its failures only lead to the search.
    void received(Answer answer) {
        if (const QJsonValue* value = std::get_if<QJsonValue>(&answer);
            value && value->isObject()) {
            if (std::optional<Record> found = record(*value)) {
                candidates_.push_back(std::move(*found));
            }
        }
        if (!candidates_.empty() && hasText(candidates_.front().syncedLyrics)) {
            finish(pick(candidates_, query_.duration));
        } else {
            search();
        }
    }

    void search() {
        Parameters parameters{{QStringLiteral("track_name"), QString::fromStdString(query_.title)}};
        if (query_.artist) {
            parameters.emplace_back(QStringLiteral("artist_name"),
                                    QString::fromStdString(*query_.artist));
        }
        request(QStringLiteral("search"), std::move(parameters), &Flight::found);
    }

    // The answer of "search": a list of records. Its failure is the fetch's.
    void found(Answer answer) {
        if (LyricsFailure* failed = std::get_if<LyricsFailure>(&answer)) {
            finish(std::move(*failed));
            return;
        }
        const QJsonValue& value = std::get<QJsonValue>(answer);
        if (!value.isArray()) {
            finish(failure(QStringLiteral("The search answer is not a list")));
            return;
        }
        for (const QJsonValue& element : value.toArray()) {
            std::optional<Record> found = record(element);
            if (!found) {
                finish(failure(QStringLiteral("The search answer holds a malformed record")));
                return;
            }
            candidates_.push_back(std::move(*found));
        }
        finish(pick(candidates_, query_.duration));
    }

    void finish(Outcome outcome) {
        if (cancelled_ || !done_) {
            return;
        }
        const Completion done = std::move(done_);
        done_ = nullptr;
        done(std::move(outcome));
    }

    LRCLib& client_;
    LyricsQuery query_;
    Completion done_;
    std::vector<Record> candidates_;
    QPointer<QNetworkReply> reply_;
    QMetaObject::Connection connection_;
    bool cancelled_ = false;
};

class LRCLib::FlightTask : public Task {
public:
    explicit FlightTask(std::shared_ptr<Flight> flight) : flight_(std::move(flight)) {}
    ~FlightTask() override { flight_->cancel(); }

private:
    std::shared_ptr<Flight> flight_;
};

LRCLib::LRCLib(QUrl baseURL, std::chrono::milliseconds timeout)
    : baseURL_(std::move(baseURL)), timeout_(timeout) {}

LRCLib::~LRCLib() = default;

std::unique_ptr<LRCLib> LRCLib::fromEnvironment() {
    QUrl base(QString::fromLatin1(defaultBase));
    const QString named = qEnvironmentVariable("ORLET_LYRICS_URL");
    if (!named.isEmpty()) {
        const QUrl other(named, QUrl::StrictMode);
        if (other.isValid() && (other.scheme() == u"http" || other.scheme() == u"https") &&
            !other.host().isEmpty()) {
            base = other;
        } else {
            qCWarning(logApp()).noquote()
                << "ORLET_LYRICS_URL is not an http(s) address; using" << base.toString();
        }
    }
    return std::make_unique<LRCLib>(base);
}

std::unique_ptr<LyricsFetcher::Task> LRCLib::fetch(const LyricsQuery& query, Completion done) {
    auto flight = std::make_shared<Flight>(*this, query, std::move(done));
    flight->start();
    return std::make_unique<FlightTask>(std::move(flight));
}

LyricsState LRCLib::pick(const std::vector<Record>& candidates, std::optional<double> duration) {
    std::vector<const Record*> near;
    for (const Record& candidate : candidates) {
        if (!duration || !candidate.duration || std::abs(*candidate.duration - *duration) <= 10) {
            near.push_back(&candidate);
        }
    }
    std::vector<const Record*> synced;
    std::copy_if(near.begin(), near.end(), std::back_inserter(synced),
                 [](const Record* record) { return hasText(record->syncedLyrics); });
    const auto distance = [&](const Record* record) {
        return std::abs(record->duration.value_or(0) - duration.value_or(0));
    };
    std::stable_sort(synced.begin(), synced.end(),
                     [&](const Record* a, const Record* b) { return distance(a) < distance(b); });
    if (!synced.empty()) {
        std::vector<LyricLine> lines = LRC::parse(*synced.front()->syncedLyrics);
        if (!lines.empty()) {
            return LyricsState::synced(std::move(lines));
        }
    }
    if (std::any_of(near.begin(), near.end(),
                    [](const Record* record) { return hasText(record->plainLyrics); })) {
        return LyricsState::unsynced();
    }
    return LyricsState::notFound();
}

QUrl LRCLib::url(const QString& operation, Parameters parameters) const {
    std::stable_sort(parameters.begin(), parameters.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QByteArray query;
    for (const auto& [name, value] : parameters) {
        if (!query.isEmpty()) {
            query += '&';
        }
        // Everything but the unreserved characters is escaped, "+" included, which servers
        // would otherwise read as a blank.
        query += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    QUrl url = baseURL_;
    QString path = url.path();
    while (path.endsWith(u'/')) {
        path.chop(1);
    }
    url.setPath(path + QStringLiteral("/api/") + operation);
    url.setQuery(QString::fromLatin1(query));
    return url;
}

QByteArray LRCLib::userAgent() {
    const QString version = QCoreApplication::applicationVersion();
    return "Orlet/" + (version.isEmpty() ? QByteArray("dev") : version.toUtf8()) +
           " (Linux notch app)";
}

std::optional<LRCLib::Record> LRCLib::record(const QJsonValue& value) {
    if (!value.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    bool malformed = false;
    const auto field = [&](const char* key, auto isType, auto convert) {
        const QJsonValue found = object.value(QLatin1String(key));
        using T = decltype(convert(found));
        if (found.isUndefined() || found.isNull()) {
            return std::optional<T>();
        }
        if (!(found.*isType)()) {
            malformed = true;
            return std::optional<T>();
        }
        return std::optional<T>(convert(found));
    };
    const auto text = [](const QJsonValue& v) { return v.toString().toStdString(); };
    Record record;
    record.duration =
        field("duration", &QJsonValue::isDouble, [](const QJsonValue& v) { return v.toDouble(); });
    record.syncedLyrics = field("syncedLyrics", &QJsonValue::isString, text);
    record.plainLyrics = field("plainLyrics", &QJsonValue::isString, text);
    record.instrumental =
        field("instrumental", &QJsonValue::isBool, [](const QJsonValue& v) { return v.toBool(); });
    if (malformed) {
        return std::nullopt;
    }
    return record;
}

} // namespace orlet
