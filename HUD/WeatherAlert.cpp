#include "HUD/WeatherAlert.h"

namespace orlet {

namespace {

struct KindTexts {
    QStringView raw;
    QStringView title;
    QStringView advice;
    QStringView symbol;
};

// One row per kind, in declaration order, so a kind indexes its own row.
constexpr std::array<KindTexts, WeatherAlert::allKinds.size()> kindTexts{{
    {u"hail", u"Thunderstorm with hail", u"Stay indoors and away from windows", u"cloud.hail.fill"},
    {u"thunderstorm", u"Thunderstorm", u"Stay indoors and away from windows",
     u"cloud.bolt.rain.fill"},
    {u"freezingRain", u"Freezing rain", u"Roads and paths may be icy", u"cloud.sleet.fill"},
    {u"wind", u"Damaging winds", u"Secure loose objects outside", u"wind"},
    {u"heavySnow", u"Heavy snow", u"Travel may be difficult", u"cloud.snow.fill"},
    {u"heavyRain", u"Heavy rain", u"Watch out for flooding", u"cloud.heavyrain.fill"},
    {u"heat", u"Extreme heat", u"Drink water, avoid the midday sun",
     u"sun.max.trianglebadge.exclamationmark.fill"},
    {u"cold", u"Extreme cold", u"Dress warmly, limit time outside", u"thermometer.snowflake"},
}};

constexpr bool rowsFollowDeclarationOrder() {
    for (std::size_t i = 0; i < WeatherAlert::allKinds.size(); ++i) {
        if (static_cast<std::size_t>(WeatherAlert::allKinds[i]) != i) {
            return false;
        }
    }
    return true;
}
static_assert(rowsFollowDeclarationOrder());

const KindTexts& textsOf(WeatherAlert::Kind kind) {
    return kindTexts[static_cast<std::size_t>(kind)];
}

// The rows are literals, so the strings share their static data instead of copying it.
QString fromLiteral(QStringView text) {
    return QString::fromRawData(text.data(), text.size());
}

} // namespace

QString WeatherAlert::rawValue(Kind kind) {
    return fromLiteral(textsOf(kind).raw);
}

std::optional<WeatherAlert::Kind> WeatherAlert::kindFromRaw(QStringView raw) {
    for (const Kind kind : allKinds) {
        if (textsOf(kind).raw == raw) {
            return kind;
        }
    }
    return std::nullopt;
}

QString WeatherAlert::title(Kind kind) {
    return fromLiteral(textsOf(kind).title);
}

QString WeatherAlert::advice(Kind kind) {
    return fromLiteral(textsOf(kind).advice);
}

QString WeatherAlert::symbol(Kind kind) {
    return fromLiteral(textsOf(kind).symbol);
}

} // namespace orlet
