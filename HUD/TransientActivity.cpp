#include "HUD/TransientActivity.h"

#include <type_traits>
#include <utility>

namespace orlet {

namespace {

using Payload = decltype(TransientActivity::payload);
using Case = TransientActivity::Case;

template <typename T, Case expected>
constexpr bool holdsAt =
    std::is_same_v<std::variant_alternative_t<std::size_t(expected), Payload>, T>;
static_assert(holdsAt<TransientActivity::Level, Case::level> &&
              holdsAt<TransientActivity::Charging, Case::charging> &&
              holdsAt<TransientActivity::Alert, Case::alert> &&
              holdsAt<TransientActivity::Headphones, Case::headphones> &&
              holdsAt<TransientActivity::App, Case::app> &&
              holdsAt<TransientActivity::Weather, Case::weather> &&
              std::variant_size_v<Payload> == 6);

// One overload per case, so a new case does not compile until it says what "same kind" means.
bool sameKind(const TransientActivity::Level& a, const TransientActivity::Level& b) {
    return a.kind == b.kind;
}
bool sameKind(const TransientActivity::Charging&, const TransientActivity::Charging&) {
    return true;
}
bool sameKind(const TransientActivity::Alert& a, const TransientActivity::Alert& b) {
    return a.symbol == b.symbol;
}
bool sameKind(const TransientActivity::Headphones&, const TransientActivity::Headphones&) {
    return true;
}
bool sameKind(const TransientActivity::App& a, const TransientActivity::App& b) {
    return a.appID == b.appID && a.symbol == b.symbol;
}
bool sameKind(const TransientActivity::Weather& a, const TransientActivity::Weather& b) {
    return a.alert.kind == b.alert.kind;
}

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds durationOf(const TransientActivity::Level&) {
    return 1500ms;
}
constexpr std::chrono::milliseconds durationOf(const TransientActivity::Charging&) {
    return 3500ms;
}
constexpr std::chrono::milliseconds durationOf(const TransientActivity::Alert&) {
    return 5s;
}
constexpr std::chrono::milliseconds durationOf(const TransientActivity::Headphones&) {
    return 4s;
}
// Something that wants attention gets longer to be read.
constexpr std::chrono::milliseconds durationOf(const TransientActivity::App& app) {
    return app.tone == TransientActivity::Tone::attention ? 6s : 4s;
}
// Weather alerts carry advice worth reading in full.
constexpr std::chrono::milliseconds durationOf(const TransientActivity::Weather&) {
    return 12s;
}

} // namespace

TransientActivity TransientActivity::level(LevelKind kind, double value, bool muted) {
    return {Level{kind, value, muted}};
}

TransientActivity TransientActivity::charging(double level, std::optional<int> minutes) {
    return {Charging{level, minutes}};
}

TransientActivity TransientActivity::alert(QString symbol, QString text, Severity severity) {
    return {Alert{std::move(symbol), std::move(text), severity}};
}

TransientActivity TransientActivity::headphones(HeadphoneBattery battery) {
    return {Headphones{std::move(battery)}};
}

TransientActivity TransientActivity::app(QString appID, QString symbol, QString text, Tone tone) {
    return {App{std::move(appID), std::move(symbol), std::move(text), tone}};
}

TransientActivity TransientActivity::weather(WeatherAlert alert) {
    return {Weather{std::move(alert)}};
}

bool TransientActivity::isSameKind(const std::optional<TransientActivity>& other) const {
    if (!other || other->kind() != kind()) {
        return false;
    }
    return std::visit(
        [&other](const auto& mine) {
            using Alternative = std::decay_t<decltype(mine)>;
            return sameKind(mine, *std::get_if<Alternative>(&other->payload));
        },
        payload);
}

std::chrono::milliseconds TransientActivity::duration() const {
    return std::visit([](const auto& value) { return durationOf(value); }, payload);
}

} // namespace orlet
