#pragma once

#include "Weather/WeatherSource.h"

#include <QLocale>
#include <QUrl>
#include <chrono>

class QNetworkAccessManager;

namespace orlet {

class Clock;

// The Open-Meteo client: a forecast for a position, and a search from a name to a place. Keeps
// no cache and never retries; the weather service decides when to ask.
class WeatherAPI : public WeatherSource {
public:
    struct Endpoints {
        // Scheme and host, optionally with a path prefix; the request paths are appended.
        QUrl forecast{QStringLiteral("https://api.open-meteo.com")};
        QUrl geocoding{QStringLiteral("https://geocoding-api.open-meteo.com")};
        std::chrono::milliseconds timeout{10000};
        // Bigger answers are refused rather than read into memory without end.
        qint64 maxBodyBytes = 8 * 1024 * 1024;
        bool operator==(const Endpoints&) const = default;
    };

    // `network` lives on the main thread and outlives the client.
    WeatherAPI(QNetworkAccessManager& network, Clock& clock, Endpoints endpoints,
               QLocale locale = QLocale());

    // The public hosts, unless ORLET_FORECAST_URL or ORLET_GEOCODING_URL name others.
    static Endpoints endpointsFromEnvironment();

    static QUrl forecastUrl(const QUrl& base, double latitude, double longitude, bool fahrenheit);
    static QUrl searchUrl(const QUrl& base, const QString& name, const QString& language);
    // The locale's two- or three-letter language code; "en" when it has none.
    static QString languageOf(const QLocale& locale);

    std::unique_ptr<Request> geocode(const QString& name,
                                     std::function<void(PlaceResult)> done) override;
    std::unique_ptr<Request> forecast(double latitude, double longitude, bool fahrenheit,
                                      std::function<void(ReportResult)> done) override;

    const Endpoints& endpoints() const { return endpoints_; }

private:
    // The body of a 200 answer, or why there is none.
    using Body = std::variant<QByteArray, Failure>;
    std::unique_ptr<Request> get(const QUrl& url, std::function<void(Body)> done);

    QNetworkAccessManager& network_;
    Clock& clock_;
    Endpoints endpoints_;
    QLocale locale_;
};

} // namespace orlet
