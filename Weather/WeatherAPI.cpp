#include "Weather/WeatherAPI.h"

#include "Platform/Clock.h"
#include "Weather/ForecastResponse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTimeZone>
#include <QUrlQuery>

namespace orlet {

namespace {

using Failure = WeatherSource::Failure;

const QString unavailable = QStringLiteral("Weather service unavailable");

QUrl withPath(QUrl base, const QString& path) {
    QString prefix = base.path();
    while (prefix.endsWith(QLatin1Char('/'))) {
        prefix.chop(1);
    }
    base.setPath(prefix + path);
    return base;
}

// Every character outside the unreserved set is escaped, so "+", "&" and "=" in a city name
// reach the service as written instead of splitting or changing the query.
QString escaped(const QString& value) {
    return QString::fromLatin1(value.toUtf8().toPercentEncoding());
}

Failure transportFailure(const QNetworkReply& reply) {
    const QString why = reply.errorString();
    switch (reply.error()) {
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
        return {Failure::Reason::offline, why};
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: // the transfer time-out aborts the reply
        return {Failure::Reason::timedOut, why};
    default:
        return {Failure::Reason::network, why};
    }
}

class NetworkRequest : public WeatherSource::Request {
public:
    struct State {
        QPointer<QNetworkReply> reply;
        std::function<void(std::variant<QByteArray, Failure>)> done;
        bool finished = false;
        bool tooLarge = false;
    };

    explicit NetworkRequest(std::shared_ptr<State> state) : state_(std::move(state)) {}

    ~NetworkRequest() override {
        if (!state_->finished) {
            state_->done = nullptr;
            if (state_->reply) {
                state_->reply->abort(); // finishes at once; nobody is told
            }
        }
    }

private:
    std::shared_ptr<State> state_;
};

} // namespace

WeatherAPI::WeatherAPI(QNetworkAccessManager& network, Clock& clock, Endpoints endpoints,
                       QLocale locale)
    : network_(network), clock_(clock), endpoints_(std::move(endpoints)),
      locale_(std::move(locale)) {}

WeatherAPI::Endpoints WeatherAPI::endpointsFromEnvironment() {
    Endpoints endpoints;
    const QByteArray forecast = qgetenv("ORLET_FORECAST_URL");
    if (!forecast.isEmpty()) {
        endpoints.forecast = QUrl(QString::fromUtf8(forecast));
    }
    const QByteArray geocoding = qgetenv("ORLET_GEOCODING_URL");
    if (!geocoding.isEmpty()) {
        endpoints.geocoding = QUrl(QString::fromUtf8(geocoding));
    }
    return endpoints;
}

QUrl WeatherAPI::forecastUrl(const QUrl& base, double latitude, double longitude, bool fahrenheit) {
    QUrl url = withPath(base, QStringLiteral("/v1/forecast"));
    QUrlQuery query;
    query.setQueryItems({
        {QStringLiteral("latitude"), QString::asprintf("%.3f", latitude)},
        {QStringLiteral("longitude"), QString::asprintf("%.3f", longitude)},
        {QStringLiteral("current"),
         QStringLiteral("temperature_2m,apparent_temperature,weather_code,is_day,"
                        "relative_humidity_2m,wind_speed_10m")},
        {QStringLiteral("hourly"),
         QStringLiteral("temperature_2m,weather_code,is_day,precipitation_probability,"
                        "precipitation,snowfall,wind_gusts_10m")},
        {QStringLiteral("daily"),
         QStringLiteral("temperature_2m_max,temperature_2m_min,sunrise,sunset")},
        {QStringLiteral("forecast_days"), QStringLiteral("2")},
        {QStringLiteral("timezone"), QStringLiteral("auto")},
        {QStringLiteral("timeformat"), QStringLiteral("unixtime")},
        {QStringLiteral("temperature_unit"),
         fahrenheit ? QStringLiteral("fahrenheit") : QStringLiteral("celsius")},
        {QStringLiteral("wind_speed_unit"),
         fahrenheit ? QStringLiteral("mph") : QStringLiteral("kmh")},
    });
    url.setQuery(query);
    return url;
}

QUrl WeatherAPI::searchUrl(const QUrl& base, const QString& name, const QString& language) {
    QUrl url = withPath(base, QStringLiteral("/v1/search"));
    url.setQuery(QStringLiteral("name=") + escaped(name) + QStringLiteral("&count=1&language=") +
                     escaped(language),
                 QUrl::StrictMode);
    return url;
}

QString WeatherAPI::languageOf(const QLocale& locale) {
    if (locale.language() == QLocale::C || locale.language() == QLocale::AnyLanguage) {
        return QStringLiteral("en");
    }
    const QString code = QLocale::languageToCode(locale.language());
    return code.isEmpty() ? QStringLiteral("en") : code;
}

std::unique_ptr<WeatherSource::Request> WeatherAPI::get(const QUrl& url,
                                                        std::function<void(Body)> done) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Orlet"));
    request.setTransferTimeout(static_cast<int>(endpoints_.timeout.count()));

    auto state = std::make_shared<NetworkRequest::State>();
    state->done = std::move(done);
    QNetworkReply* reply = network_.get(request);
    state->reply = reply;
    const qint64 limit = endpoints_.maxBodyBytes;
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [state, reply, limit](qint64 received, qint64 total) {
                         if (received > limit || total > limit) {
                             state->tooLarge = true;
                             reply->abort();
                         }
                     });
    QObject::connect(reply, &QNetworkReply::finished, reply, [state, reply] {
        state->finished = true;
        reply->deleteLater();
        // Taken out first: the answer may end the request that carries it.
        const auto finish = std::move(state->done);
        state->done = nullptr;
        if (!finish) {
            return;
        }
        if (state->tooLarge) {
            finish(Failure{Failure::Reason::decoding, QStringLiteral("the answer is too large")});
            return;
        }
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (status.isValid() && status.toInt() != 200) {
            finish(Failure{Failure::Reason::service, unavailable});
        } else if (reply->error() != QNetworkReply::NoError) {
            finish(transportFailure(*reply));
        } else if (!status.isValid()) {
            finish(Failure{Failure::Reason::service, unavailable});
        } else {
            finish(reply->readAll());
        }
    });
    return std::make_unique<NetworkRequest>(std::move(state));
}

std::unique_ptr<WeatherSource::Request> WeatherAPI::geocode(const QString& name,
                                                            std::function<void(PlaceResult)> done) {
    const QUrl url = searchUrl(endpoints_.geocoding, name, languageOf(locale_));
    return get(url, [name, done = std::move(done)](Body body) {
        if (const Failure* failure = std::get_if<Failure>(&body)) {
            done(*failure);
            return;
        }
        const QJsonDocument document = QJsonDocument::fromJson(std::get<QByteArray>(body));
        if (!document.isObject()) {
            done(Failure{Failure::Reason::decoding,
                         QStringLiteral("the answer is not a JSON object")});
            return;
        }
        const QJsonValue results = document.object().value(QStringLiteral("results"));
        if (!results.isUndefined() && !results.isNull() && !results.isArray()) {
            done(Failure{Failure::Reason::decoding, QStringLiteral("results is not a list")});
            return;
        }
        const QJsonArray list = results.toArray();
        if (list.isEmpty()) {
            done(Failure{Failure::Reason::service,
                         QStringLiteral("No place called “") + name + QStringLiteral("”")});
            return;
        }
        const QJsonObject first = list.first().toObject();
        const QJsonValue placeName = first.value(QStringLiteral("name"));
        const QJsonValue latitude = first.value(QStringLiteral("latitude"));
        const QJsonValue longitude = first.value(QStringLiteral("longitude"));
        if (!placeName.isString() || !latitude.isDouble() || !longitude.isDouble()) {
            done(Failure{Failure::Reason::decoding,
                         QStringLiteral("the first place lacks a name or coordinates")});
            return;
        }
        done(Place{placeName.toString(), latitude.toDouble(), longitude.toDouble()});
    });
}

std::unique_ptr<WeatherSource::Request>
WeatherAPI::forecast(double latitude, double longitude, bool fahrenheit,
                     std::function<void(ReportResult)> done) {
    const QUrl url = forecastUrl(endpoints_.forecast, latitude, longitude, fahrenheit);
    return get(url, [this, fahrenheit, done = std::move(done)](Body body) {
        if (const Failure* failure = std::get_if<Failure>(&body)) {
            done(*failure);
            return;
        }
        QString why;
        const std::optional<ForecastResponse> response =
            ForecastResponse::decode(std::get<QByteArray>(body), &why);
        if (!response) {
            done(Failure{Failure::Reason::decoding, why});
            return;
        }
        const QDateTime now = QDateTime::fromMSecsSinceEpoch(
            std::chrono::duration_cast<std::chrono::milliseconds>(clock_.date().time_since_epoch())
                .count(),
            QTimeZone::utc());
        done(response->report(fahrenheit, now));
    });
}

} // namespace orlet
