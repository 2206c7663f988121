#pragma once

#include "HUD/HeadphoneBattery.h"
#include "HUD/WeatherAlert.h"

#include <QString>
#include <chrono>
#include <optional>
#include <variant>

namespace orlet {

// A short pop-up event shown in the notch's wings for a moment. Immutable once made.
struct TransientActivity {
    enum class LevelKind { volume, brightness };
    enum class Severity { warning, critical };
    enum class Tone { success, attention, failure, info };
    // Follows the order of the payload alternatives.
    enum class Case { level, charging, alert, headphones, app, weather };

    // `value` is a fraction 0...1.
    struct Level {
        LevelKind kind = LevelKind::volume;
        double value = 0;
        bool muted = false;
        bool operator==(const Level&) const = default;
    };
    // The power adapter was connected; `level` is the battery fraction 0...1 and `minutes` the
    // time remaining, when the battery reports it.
    struct Charging {
        double level = 0;
        std::optional<int> minutes;
        bool operator==(const Charging&) const = default;
    };
    struct Alert {
        QString symbol;
        QString text;
        Severity severity = Severity::warning;
        bool operator==(const Alert&) const = default;
    };
    struct Headphones {
        HeadphoneBattery battery;
        bool operator==(const Headphones&) const = default;
    };
    // A notification from a connected application.
    struct App {
        QString appID;
        QString symbol;
        QString text;
        Tone tone = Tone::info;
        bool operator==(const App&) const = default;
    };
    struct Weather {
        WeatherAlert alert;
        bool operator==(const Weather&) const = default;
    };

    std::variant<Level, Charging, Alert, Headphones, App, Weather> payload;

    bool operator==(const TransientActivity&) const = default;

    static TransientActivity level(LevelKind kind, double value, bool muted);
    static TransientActivity charging(double level, std::optional<int> minutes);
    static TransientActivity alert(QString symbol, QString text, Severity severity);
    static TransientActivity headphones(HeadphoneBattery battery);
    static TransientActivity app(QString appID, QString symbol, QString text, Tone tone);
    static TransientActivity weather(WeatherAlert alert);

    Case kind() const { return static_cast<Case>(payload.index()); }
    bool isLevel() const { return kind() == Case::level; }
    bool isWeather() const { return kind() == Case::weather; }

    const Level* asLevel() const { return std::get_if<Level>(&payload); }
    const Charging* asCharging() const { return std::get_if<Charging>(&payload); }
    const Alert* asAlert() const { return std::get_if<Alert>(&payload); }
    const Headphones* asHeadphones() const { return std::get_if<Headphones>(&payload); }
    const App* asApp() const { return std::get_if<App>(&payload); }
    const Weather* asWeather() const { return std::get_if<Weather>(&payload); }

    // True when this transient should replace `other` (the one on screen) in place rather than
    // pop the notch again; never for no transient or one of another case.
    bool isSameKind(const std::optional<TransientActivity>& other) const;
    // How long it stays on the closed notch.
    std::chrono::milliseconds duration() const;
};

} // namespace orlet
