#include "Weather/ForecastResponse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <cmath>
#include <limits>

namespace orlet {

namespace {

struct DecodeError {
    QString why;
};

[[noreturn]] void fail(const QString& why) {
    throw DecodeError{why};
}

double number(const QJsonValue& value, const QString& key) {
    if (!value.isDouble()) {
        fail(key + QStringLiteral(" is not a number"));
    }
    return value.toDouble();
}

// Whole numbers may arrive as 3 or 3.0; 3.5 or 1e12 is no integer.
int integer(const QJsonValue& value, const QString& key) {
    const double raw = number(value, key);
    if (raw != std::floor(raw) || raw < std::numeric_limits<int>::min() ||
        raw > std::numeric_limits<int>::max()) {
        fail(key + QStringLiteral(" is not an integer"));
    }
    return static_cast<int>(raw);
}

const QJsonObject object(const QJsonObject& parent, const QString& key) {
    const QJsonValue value = parent.value(key);
    if (!value.isObject()) {
        fail(key + (value.isUndefined() ? QStringLiteral(" is missing")
                                        : QStringLiteral(" is not an object")));
    }
    return value.toObject();
}

const QJsonValue required(const QJsonObject& parent, const QString& key) {
    const QJsonValue value = parent.value(key);
    if (value.isUndefined() || value.isNull()) {
        fail(key + QStringLiteral(" is missing"));
    }
    return value;
}

std::optional<QJsonValue> optional(const QJsonObject& parent, const QString& key) {
    const QJsonValue value = parent.value(key);
    if (value.isUndefined() || value.isNull()) {
        return std::nullopt;
    }
    return value;
}

QJsonArray array(const QJsonValue& value, const QString& key) {
    if (!value.isArray()) {
        fail(key + QStringLiteral(" is not a list"));
    }
    return value.toArray();
}

template <typename T, typename Read>
std::vector<std::optional<T>> nullableList(const QJsonValue& value, const QString& key, Read read) {
    const QJsonArray items = array(value, key);
    std::vector<std::optional<T>> result;
    result.reserve(static_cast<std::size_t>(items.size()));
    for (const QJsonValue& item : items) {
        if (item.isNull()) {
            result.emplace_back();
        } else {
            result.emplace_back(read(item, key));
        }
    }
    return result;
}

std::vector<std::optional<double>> numbers(const QJsonValue& value, const QString& key) {
    return nullableList<double>(value, key, number);
}

std::vector<std::optional<int>> integers(const QJsonValue& value, const QString& key) {
    return nullableList<int>(value, key, integer);
}

template <typename T, typename Read>
std::optional<T> optionalField(const QJsonObject& parent, const QString& key, Read read) {
    if (const std::optional<QJsonValue> value = optional(parent, key)) {
        return read(*value, key);
    }
    return std::nullopt;
}

// Reads Unix seconds, or a local time placed with the answer's offset from UTC.
class TimeReader {
public:
    explicit TimeReader(const QJsonObject& root) {
        const QJsonValue offset = root.value(QStringLiteral("utc_offset_seconds"));
        if (offset.isDouble()) {
            offset_ = integer(offset, QStringLiteral("utc_offset_seconds"));
        }
    }

    QDateTime operator()(const QJsonValue& value, const QString& key) const {
        if (value.isDouble()) {
            const double seconds = value.toDouble();
            if (!std::isfinite(seconds) || std::abs(seconds) > 1e13) {
                fail(key + QStringLiteral(" is not a time"));
            }
            return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(seconds), QTimeZone::utc());
        }
        if (!value.isString()) {
            fail(key + QStringLiteral(" is not a time"));
        }
        const QString text = value.toString();
        const QDate date = QDate::fromString(text.left(10), Qt::ISODate);
        const QTime time = QTime::fromString(text.mid(11), Qt::ISODate);
        if (text.size() < 16 || text.at(10) != QLatin1Char('T') || !date.isValid() ||
            !time.isValid()) {
            fail(key + QStringLiteral(" is not a time"));
        }
        // A local time means nothing without the offset of its place.
        if (!offset_) {
            fail(QStringLiteral("utc_offset_seconds is missing for local times"));
        }
        return QDateTime(date, time, QTimeZone::utc()).addSecs(-*offset_);
    }

private:
    std::optional<int> offset_;
};

std::vector<QDateTime> times(const QJsonValue& value, const QString& key, const TimeReader& read) {
    const QJsonArray items = array(value, key);
    std::vector<QDateTime> result;
    result.reserve(static_cast<std::size_t>(items.size()));
    for (const QJsonValue& item : items) {
        result.push_back(read(item, key));
    }
    return result;
}

// Unit names as the service writes them ("°C", "°F", "km/h", "mp/h", "m/s", "kn", "mm",
// "inch"); anything else counts as undeclared.
std::optional<QString> unitName(const QJsonObject& root, const QString& block, const QString& key) {
    const QJsonValue value = root.value(block).toObject().value(key);
    return value.isString() ? std::optional(value.toString()) : std::nullopt;
}

std::optional<ForecastResponse::TemperatureUnit> temperatureUnit(const std::optional<QString>& n) {
    if (n == QStringLiteral("°C")) {
        return ForecastResponse::TemperatureUnit::celsius;
    }
    if (n == QStringLiteral("°F")) {
        return ForecastResponse::TemperatureUnit::fahrenheit;
    }
    return std::nullopt;
}

std::optional<ForecastResponse::SpeedUnit> speedUnit(const std::optional<QString>& n) {
    if (n == QStringLiteral("km/h")) {
        return ForecastResponse::SpeedUnit::kmh;
    }
    if (n == QStringLiteral("mp/h") || n == QStringLiteral("mph")) {
        return ForecastResponse::SpeedUnit::mph;
    }
    if (n == QStringLiteral("m/s")) {
        return ForecastResponse::SpeedUnit::metresPerSecond;
    }
    if (n == QStringLiteral("kn")) {
        return ForecastResponse::SpeedUnit::knots;
    }
    return std::nullopt;
}

std::optional<ForecastResponse::LengthUnit> lengthUnit(const std::optional<QString>& n) {
    if (n == QStringLiteral("mm")) {
        return ForecastResponse::LengthUnit::millimetres;
    }
    if (n == QStringLiteral("cm")) {
        return ForecastResponse::LengthUnit::centimetres;
    }
    if (n == QStringLiteral("inch")) {
        return ForecastResponse::LengthUnit::inches;
    }
    return std::nullopt;
}

using TemperatureUnit = ForecastResponse::TemperatureUnit;
using SpeedUnit = ForecastResponse::SpeedUnit;
using LengthUnit = ForecastResponse::LengthUnit;

TemperatureUnit asked(bool fahrenheit) {
    return fahrenheit ? TemperatureUnit::fahrenheit : TemperatureUnit::celsius;
}

double toCelsius(double value, TemperatureUnit unit) {
    return unit == TemperatureUnit::fahrenheit ? (value - 32) * 5 / 9 : value;
}

// In the unit of the report; nothing changes when the answer is in it already.
double shownTemperature(double value, std::optional<TemperatureUnit> declared, bool fahrenheit) {
    const TemperatureUnit unit = declared.value_or(asked(fahrenheit));
    if (unit == asked(fahrenheit)) {
        return value;
    }
    const double celsius = toCelsius(value, unit);
    return fahrenheit ? celsius * 9 / 5 + 32 : celsius;
}

double toKmh(double value, SpeedUnit unit) {
    switch (unit) {
    case SpeedUnit::kmh:
        return value;
    case SpeedUnit::mph:
        return value * 1.609;
    case SpeedUnit::metresPerSecond:
        return value * 3.6;
    case SpeedUnit::knots:
        return value * 1.852;
    }
    return value;
}

double shownSpeed(double value, std::optional<SpeedUnit> declared, bool fahrenheit) {
    const SpeedUnit wanted = fahrenheit ? SpeedUnit::mph : SpeedUnit::kmh;
    const SpeedUnit unit = declared.value_or(wanted);
    if (unit == wanted) {
        return value;
    }
    const double kmh = toKmh(value, unit);
    return fahrenheit ? kmh / 1.609 : kmh;
}

double toMillimetres(double value, std::optional<LengthUnit> unit, LengthUnit standard) {
    switch (unit.value_or(standard)) {
    case LengthUnit::millimetres:
        return value;
    case LengthUnit::centimetres:
        return value * 10;
    case LengthUnit::inches:
        return value * 25.4;
    }
    return value;
}

template <typename T>
std::optional<T> at(const std::vector<std::optional<T>>& list, std::size_t index) {
    return index < list.size() ? list[index] : std::nullopt;
}

template <typename T>
std::optional<T> at(const std::optional<std::vector<std::optional<T>>>& list, std::size_t index) {
    return list ? at(*list, index) : std::nullopt;
}

} // namespace

std::optional<ForecastResponse> ForecastResponse::decode(const QByteArray& body, QString* error) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        if (error) {
            *error = QStringLiteral("the answer is not a JSON object");
        }
        return std::nullopt;
    }
    const QJsonObject root = document.object();
    try {
        ForecastResponse response;
        const TimeReader time(root);

        const QJsonObject current = object(root, QStringLiteral("current"));
        response.current.temperature =
            number(required(current, "temperature_2m"), QStringLiteral("temperature_2m"));
        response.current.apparentTemperature =
            optionalField<double>(current, QStringLiteral("apparent_temperature"), number);
        response.current.weatherCode =
            integer(required(current, "weather_code"), QStringLiteral("weather_code"));
        response.current.isDay = optionalField<int>(current, QStringLiteral("is_day"), integer);
        response.current.relativeHumidity =
            optionalField<int>(current, QStringLiteral("relative_humidity_2m"), integer);
        response.current.windSpeed =
            optionalField<double>(current, QStringLiteral("wind_speed_10m"), number);

        const QJsonObject hourly = object(root, QStringLiteral("hourly"));
        Hourly& h = response.hourly;
        h.time = times(required(hourly, "time"), QStringLiteral("hourly time"), time);
        h.temperature = numbers(required(hourly, "temperature_2m"), "hourly temperature_2m");
        h.weatherCode = integers(required(hourly, "weather_code"), "hourly weather_code");
        h.isDay = optionalField<std::vector<std::optional<int>>>(hourly, "is_day", integers);
        h.precipitationProbability = optionalField<std::vector<std::optional<int>>>(
            hourly, "precipitation_probability", integers);
        h.precipitation =
            optionalField<std::vector<std::optional<double>>>(hourly, "precipitation", numbers);
        h.snowfall = optionalField<std::vector<std::optional<double>>>(hourly, "snowfall", numbers);
        h.windGusts =
            optionalField<std::vector<std::optional<double>>>(hourly, "wind_gusts_10m", numbers);

        const QJsonObject daily = object(root, QStringLiteral("daily"));
        Daily& d = response.daily;
        d.temperatureMax = numbers(required(daily, "temperature_2m_max"), "temperature_2m_max");
        d.temperatureMin = numbers(required(daily, "temperature_2m_min"), "temperature_2m_min");
        const auto dates = [&time](const QJsonValue& value, const QString& key) {
            return nullableList<QDateTime>(value, key, time);
        };
        d.sunrise = optionalField<std::vector<std::optional<QDateTime>>>(daily, "sunrise", dates);
        d.sunset = optionalField<std::vector<std::optional<QDateTime>>>(daily, "sunset", dates);

        Units& u = response.units;
        u.currentTemperature = temperatureUnit(unitName(root, "current_units", "temperature_2m"));
        u.currentWind = speedUnit(unitName(root, "current_units", "wind_speed_10m"));
        u.hourlyTemperature = temperatureUnit(unitName(root, "hourly_units", "temperature_2m"));
        u.hourlyGusts = speedUnit(unitName(root, "hourly_units", "wind_gusts_10m"));
        u.precipitation = lengthUnit(unitName(root, "hourly_units", "precipitation"));
        u.snowfall = lengthUnit(unitName(root, "hourly_units", "snowfall"));
        u.dailyTemperature = temperatureUnit(unitName(root, "daily_units", "temperature_2m_max"));
        return response;
    } catch (const DecodeError& decodeError) {
        if (error) {
            *error = decodeError.why;
        }
        return std::nullopt;
    }
}

std::vector<WeatherAlerts::Hour> ForecastResponse::alertHours(bool fahrenheit) const {
    std::vector<WeatherAlerts::Hour> hours;
    hours.reserve(hourly.time.size());
    const TemperatureUnit temperatureIn = units.hourlyTemperature.value_or(asked(fahrenheit));
    const SpeedUnit gustsIn =
        units.hourlyGusts.value_or(fahrenheit ? SpeedUnit::mph : SpeedUnit::kmh);
    for (std::size_t i = 0; i < hourly.time.size(); ++i) {
        const std::optional<double> temperature = at(hourly.temperature, i);
        const std::optional<int> code = at(hourly.weatherCode, i);
        if (!temperature || !code) {
            continue;
        }
        WeatherAlerts::Hour hour{
            hourly.time[i], *code,        toCelsius(*temperature, temperatureIn),
            std::nullopt,   std::nullopt, std::nullopt};
        if (const std::optional<double> gust = at(hourly.windGusts, i)) {
            hour.gustKmh = toKmh(*gust, gustsIn);
        }
        if (const std::optional<double> rain = at(hourly.precipitation, i)) {
            hour.precipitationMm =
                toMillimetres(*rain, units.precipitation, LengthUnit::millimetres);
        }
        if (const std::optional<double> snow = at(hourly.snowfall, i)) {
            hour.snowfallCm = toMillimetres(*snow, units.snowfall, LengthUnit::centimetres) / 10;
        }
        hours.push_back(std::move(hour));
    }
    return hours;
}

WeatherReport ForecastResponse::report(bool fahrenheit, const QDateTime& now, int hourCount) const {
    WeatherReport result;
    const auto currentTemperature = [&](double value) {
        return shownTemperature(value, units.currentTemperature, fahrenheit);
    };
    result.temperature = currentTemperature(current.temperature);
    result.feelsLike =
        currentTemperature(current.apparentTemperature.value_or(current.temperature));
    result.code = current.weatherCode;
    result.isDay = !current.isDay || *current.isDay == 1;
    const auto firstOr = [&](const std::vector<std::optional<double>>& list) {
        const std::optional<double> first = at(list, 0);
        return first ? shownTemperature(*first, units.dailyTemperature, fahrenheit)
                     : result.temperature;
    };
    result.high = firstOr(daily.temperatureMax);
    result.low = firstOr(daily.temperatureMin);
    result.humidity = current.relativeHumidity;
    if (current.windSpeed) {
        result.windSpeed = shownSpeed(*current.windSpeed, units.currentWind, fahrenheit);
    }
    result.sunrise = at(daily.sunrise, 0);
    result.sunset = at(daily.sunset, 0);

    for (std::size_t i = 0; i < hourly.time.size() && std::ssize(result.hours) < hourCount; ++i) {
        const std::optional<double> temperature = at(hourly.temperature, i);
        const std::optional<int> code = at(hourly.weatherCode, i);
        if (!(hourly.time[i] > now) || !temperature || !code) {
            continue;
        }
        const std::optional<int> isDay = at(hourly.isDay, i);
        result.hours.push_back(
            {hourly.time[i], shownTemperature(*temperature, units.hourlyTemperature, fahrenheit),
             *code, !isDay || *isDay == 1, at(hourly.precipitationProbability, i)});
    }
    result.fahrenheit = fahrenheit;
    result.alert = WeatherAlerts::detect(alertHours(fahrenheit), now, fahrenheit);
    return result;
}

} // namespace orlet
