#pragma once

#include "Weather/WeatherReport.h"

#include <QString>
#include <functional>
#include <memory>
#include <variant>

namespace orlet {

// Where forecasts and place searches come from: the Open-Meteo client, or a fake in tests.
// Answers arrive later on the main thread; a request whose handle goes never answers.
class WeatherSource {
public:
    struct Place {
        QString name;
        double latitude = 0;
        double longitude = 0;
        bool operator==(const Place&) const = default;
    };

    // Why a request failed. Only `service` carries a text meant for the user; the others carry
    // a description for the log.
    struct Failure {
        enum class Reason { service, offline, timedOut, network, decoding };
        Reason reason = Reason::service;
        QString message;
        bool operator==(const Failure&) const = default;
    };

    using PlaceResult = std::variant<Place, Failure>;
    using ReportResult = std::variant<WeatherReport, Failure>;

    // A request in flight; destroying it cancels the request.
    class Request {
    public:
        virtual ~Request() = default;
    };

    virtual ~WeatherSource() = default;

    virtual std::unique_ptr<Request> geocode(const QString& name,
                                             std::function<void(PlaceResult)> done) = 0;
    virtual std::unique_ptr<Request> forecast(double latitude, double longitude, bool fahrenheit,
                                              std::function<void(ReportResult)> done) = 0;
};

} // namespace orlet
