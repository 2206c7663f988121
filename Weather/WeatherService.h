#pragma once

#include "HUD/TransientActivity.h"
#include "Platform/Clock.h"
#include "Weather/LocationSource.h"
#include "Weather/WeatherSource.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>

namespace orlet {

class DefaultsStore;

// The one weather source of the program: picks the place (the typed city, else the machine's
// position), fetches the forecast, keeps the last good report, and every half hour looks for
// severe weather in the background, raising each kind at most once in six hours.
class WeatherService : public QObject {
    Q_OBJECT

public:
    struct Status {
        enum class Case { idle, loading, needsLocation, locationDenied, failed };
        Case state = Case::idle;
        // The text shown to the user; only `failed` has one.
        QString message;

        static Status failed(QString message) { return {Case::failed, std::move(message)}; }
        bool operator==(const Status&) const = default;
    };

    struct Environment {
        Clock& clock;
        DefaultsStore& defaults;
        WeatherSource& weather;
        LocationSource& location;
        std::function<void(const TransientActivity&)> showTransient;
        // Whether the user's locale measures in US units.
        std::function<bool()> localeUsesFahrenheit;
    };

    static constexpr std::chrono::seconds freshFor{900};
    static constexpr std::chrono::seconds alertInterval{1800};
    static constexpr std::chrono::seconds firstCheckDelay{8};
    static constexpr double alertRepeatSeconds = 21600;

    explicit WeatherService(Environment environment, QObject* parent = nullptr);
    ~WeatherService() override;

    const Status& status() const { return status_; }
    const std::optional<WeatherReport>& report() const { return report_; }
    const std::optional<QString>& placeName() const { return placeName_; }
    std::optional<Clock::TimePoint> lastFetch() const { return lastFetch_; }

    // Stores the trimmed name (empty: use the machine's position) and fetches at once.
    void setCity(const QString& city);
    bool fahrenheit() const;
    bool alertsEnabled() const { return alertsEnabled_; }
    void setAlertsEnabled(bool enabled);

    void reload(bool force);
    void reloadIfStale();
    void startAlerts();
    void checkInBackground();
    // The weather tab's "Use My Location".
    void requestLocationAccess() { env_.location.requestAuthorization(); }

    // The text of the failed state for a failure.
    static QString message(const WeatherSource::Failure& failure);

signals:
    void statusChanged();
    void reportChanged();
    void placeNameChanged();
    void alertsEnabledChanged();

private:
    void fetchCity(const QString& city);
    void fetchPlace(const WeatherSource::Place& place, bool fahrenheit, std::uint64_t generation);
    void located(double latitude, double longitude);
    void locationFailed();
    void authorizationChanged();
    void failed(const WeatherSource::Failure& failure, std::uint64_t generation);
    void apply(const WeatherReport& report, const QString& place, std::uint64_t generation);
    void deliverAlertIfNew(const WeatherReport& report);
    void scheduleAlertTimer();
    void setStatus(Status status);
    void cancelTask();
    QString city() const;
    double nowSeconds() const;

    Environment env_;
    Status status_;
    std::optional<WeatherReport> report_;
    std::optional<QString> placeName_;
    std::optional<Clock::TimePoint> lastFetch_;
    std::unique_ptr<WeatherSource::Request> task_;
    // The last city found and where it is: a place does not move between refreshes.
    std::optional<std::pair<QString, WeatherSource::Place>> cityPlace_;
    // Counts fetches, so an answer of a replaced fetch is never applied.
    std::uint64_t generation_ = 0;
    DelayedJob alertTimer_;
    DelayedJob firstCheck_;
    bool alertsEnabled_;
};

} // namespace orlet
