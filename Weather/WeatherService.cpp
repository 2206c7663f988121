#include "Weather/WeatherService.h"

#include "Platform/DefaultsStore.h"
#include "Platform/Log.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace orlet {

namespace {

const QString cityKey = QStringLiteral("weather.city");
const QString alertsKey = QStringLiteral("weather.alerts");
const QString fahrenheitKey = QStringLiteral("weather.fahrenheit");
const QString alertedKey = QStringLiteral("weather.alerted");

// No reverse geocoder runs here: a fix is named as the system names an unnamed one.
const QString currentLocation = QStringLiteral("Current location");

} // namespace

WeatherService::WeatherService(Environment environment, QObject* parent)
    : QObject(parent), env_(std::move(environment)),
      alertsEnabled_(env_.defaults.boolValue(alertsKey).value_or(true)) {
    env_.location.onLocation = [this](double latitude, double longitude) {
        located(latitude, longitude);
    };
    env_.location.onFailure = [this] { locationFailed(); };
    env_.location.onAuthorizationChange = [this] { authorizationChanged(); };
}

WeatherService::~WeatherService() {
    env_.location.onLocation = nullptr;
    env_.location.onFailure = nullptr;
    env_.location.onAuthorizationChange = nullptr;
}

void WeatherService::setCity(const QString& city) {
    env_.defaults.set(cityKey, city.trimmed());
    reload(true);
}

bool WeatherService::fahrenheit() const {
    if (const std::optional<bool> stored = env_.defaults.boolValue(fahrenheitKey)) {
        return *stored;
    }
    return env_.localeUsesFahrenheit && env_.localeUsesFahrenheit();
}

void WeatherService::setAlertsEnabled(bool enabled) {
    env_.defaults.set(alertsKey, enabled);
    const bool changed = enabled != alertsEnabled_;
    alertsEnabled_ = enabled;
    if (enabled) {
        startAlerts();
    } else {
        alertTimer_.cancel();
        firstCheck_.cancel();
    }
    if (changed) {
        emit alertsEnabledChanged();
    }
}

QString WeatherService::city() const {
    return env_.defaults.string(cityKey).value_or(QString());
}

void WeatherService::reload(bool force) {
    if (!force && status_.state == Status::Case::loading) {
        return;
    }
    const QString name = city();
    if (!name.isEmpty()) {
        fetchCity(name);
        return;
    }
    switch (env_.location.authorization()) {
    case LocationSource::Authorization::notDetermined:
        // A fetch for a city the user just cleared must not land afterwards.
        cancelTask();
        setStatus({Status::Case::needsLocation, {}});
        break;
    case LocationSource::Authorization::restricted:
    case LocationSource::Authorization::denied:
        cancelTask();
        setStatus({Status::Case::locationDenied, {}});
        break;
    case LocationSource::Authorization::authorized:
        cancelTask();
        setStatus({Status::Case::loading, {}});
        env_.location.requestLocation();
        break;
    }
}

void WeatherService::reloadIfStale() {
    if (lastFetch_ && env_.clock.now() - *lastFetch_ < freshFor && report_) {
        return;
    }
    reload(false);
}

void WeatherService::startAlerts() {
    alertTimer_.cancel();
    firstCheck_.cancel();
    if (!alertsEnabled_) {
        return;
    }
    scheduleAlertTimer();
    firstCheck_ = env_.clock.schedule(firstCheckDelay, [this] { checkInBackground(); });
}

void WeatherService::scheduleAlertTimer() {
    alertTimer_ = env_.clock.schedule(alertInterval, [this] {
        scheduleAlertTimer();
        checkInBackground();
    });
}

void WeatherService::checkInBackground() {
    if (!alertsEnabled_) {
        return;
    }
    // A background check never prompts and never runs without a place.
    if (city().isEmpty() &&
        env_.location.authorization() != LocationSource::Authorization::authorized) {
        return;
    }
    if (lastFetch_ && env_.clock.now() - *lastFetch_ < freshFor) {
        return;
    }
    reload(false);
}

void WeatherService::cancelTask() {
    task_.reset();
    ++generation_;
}

void WeatherService::fetchCity(const QString& name) {
    cancelTask();
    setStatus({Status::Case::loading, {}});
    const bool inFahrenheit = fahrenheit();
    const std::uint64_t generation = generation_;
    if (cityPlace_ && cityPlace_->first == name) {
        fetchPlace(cityPlace_->second, inFahrenheit, generation);
        return;
    }
    task_ = env_.weather.geocode(
        name, [this, name, inFahrenheit, generation](WeatherSource::PlaceResult result) {
            if (const auto* failure = std::get_if<WeatherSource::Failure>(&result)) {
                failed(*failure, generation);
                return;
            }
            if (generation == generation_) {
                const auto& place = std::get<WeatherSource::Place>(result);
                cityPlace_.emplace(name, place);
                fetchPlace(place, inFahrenheit, generation);
            }
        });
}

void WeatherService::fetchPlace(const WeatherSource::Place& place, bool inFahrenheit,
                                std::uint64_t generation) {
    task_ = env_.weather.forecast(
        place.latitude, place.longitude, inFahrenheit,
        [this, name = place.name, generation](WeatherSource::ReportResult result) {
            if (const auto* failure = std::get_if<WeatherSource::Failure>(&result)) {
                failed(*failure, generation);
                return;
            }
            apply(std::get<WeatherReport>(result), name, generation);
        });
}

void WeatherService::located(double latitude, double longitude) {
    cancelTask();
    setStatus({Status::Case::loading, {}});
    fetchPlace({currentLocation, latitude, longitude}, fahrenheit(), generation_);
}

void WeatherService::locationFailed() {
    if (!report_) {
        setStatus(Status::failed(QStringLiteral("Couldn't find your location")));
    } else {
        setStatus({Status::Case::idle, {}});
    }
}

void WeatherService::authorizationChanged() {
    if (status_.state == Status::Case::needsLocation ||
        status_.state == Status::Case::locationDenied) {
        reload(true);
    }
}

void WeatherService::failed(const WeatherSource::Failure& failure, std::uint64_t generation) {
    if (generation != generation_) {
        return;
    }
    task_.reset();
    qCCritical(logApp()).noquote() << "Weather:" << failure.message;
    setStatus(Status::failed(message(failure)));
}

QString WeatherService::message(const WeatherSource::Failure& failure) {
    switch (failure.reason) {
    case WeatherSource::Failure::Reason::service:
        return failure.message;
    case WeatherSource::Failure::Reason::offline:
        return QStringLiteral("You're offline");
    case WeatherSource::Failure::Reason::timedOut:
    case WeatherSource::Failure::Reason::network:
    case WeatherSource::Failure::Reason::decoding:
        break;
    }
    return QStringLiteral("Couldn't load the weather");
}

void WeatherService::apply(const WeatherReport& report, const QString& place,
                           std::uint64_t generation) {
    if (generation != generation_) {
        return;
    }
    task_.reset();
    if (report_ != report) {
        report_ = report;
        emit reportChanged();
    }
    if (placeName_ != place) {
        placeName_ = place;
        emit placeNameChanged();
    }
    lastFetch_ = env_.clock.now();
    setStatus({Status::Case::idle, {}});
    deliverAlertIfNew(report);
}

double WeatherService::nowSeconds() const {
    return std::chrono::duration<double>(env_.clock.date().time_since_epoch()).count();
}

void WeatherService::deliverAlertIfNew(const WeatherReport& report) {
    if (!alertsEnabled_ || !report.alert) {
        return;
    }
    QJsonObject alerted;
    if (const std::optional<QByteArray> stored = env_.defaults.bytes(alertedKey)) {
        const QJsonDocument document = QJsonDocument::fromJson(*stored);
        if (document.isObject()) {
            alerted = document.object();
        }
    }
    const double now = nowSeconds();
    const QString kind = WeatherAlert::rawValue(report.alert->kind);
    const QJsonValue last = alerted.value(kind);
    // Measured both ways: an entry far ahead of now (the clock was set back since) must not
    // silence a kind for ever.
    const auto recent = [now](const QJsonValue& when) {
        return when.isDouble() && std::abs(now - when.toDouble()) < alertRepeatSeconds;
    };
    if (recent(last)) {
        return;
    }
    alerted.insert(kind, now);
    for (auto entry = alerted.begin(); entry != alerted.end();) {
        if (!recent(entry.value())) {
            entry = alerted.erase(entry);
        } else {
            ++entry;
        }
    }
    env_.defaults.set(alertedKey, QJsonDocument(alerted).toJson(QJsonDocument::Compact));

    WeatherAlert alert = *report.alert;
    alert.place = placeName_;
    qCDebug(logApp()).noquote() << "Weather alert:" << kind << "in"
                                << placeName_.value_or(QString());
    if (env_.showTransient) {
        env_.showTransient(TransientActivity::weather(alert));
    }
}

void WeatherService::setStatus(Status status) {
    if (status == status_) {
        return;
    }
    status_ = std::move(status);
    emit statusChanged();
}

} // namespace orlet
