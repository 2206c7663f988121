#pragma once

#include "HUD/TransientActivity.h"
#include "Platform/Clock.h"

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <variant>

namespace orlet {

// A named count-down. While running it keeps only its end, so nothing ticks while nobody
// looks; the end plays a sound and pops a notice in the notch.
class FocusTimer : public QObject {
    Q_OBJECT

public:
    struct Running {
        // On the monotonic clock: setting the wall clock does not shorten a focus session.
        Clock::TimePoint end;
        double total = 0;
        bool operator==(const Running&) const = default;
    };
    struct Paused {
        double remaining = 0;
        double total = 0;
        bool operator==(const Paused&) const = default;
    };
    struct Idle {
        bool operator==(const Idle&) const = default;
    };
    using State = std::variant<Running, Paused, Idle>;

    struct Preset {
        int minutes = 0;
        QString label;
        bool operator==(const Preset&) const = default;
    };

    struct Environment {
        Clock& clock;
        // The end-of-session sound.
        std::function<void()> playSound;
    };

    static const std::array<Preset, 4>& presets();

    explicit FocusTimer(Environment environment, QObject* parent = nullptr);

    static FocusTimer& shared();

    const State& state() const { return state_; }
    const QString& label() const { return label_; }
    bool isIdle() const { return std::holds_alternative<Idle>(state_); }

    void start(const Preset& preset);
    // N whole minutes labelled "Timer", as the URL command asks.
    void startMinutes(int minutes);
    void pause();
    void resume();
    void stop();
    void addMinute();

    // The remaining time as the notch shows it: 4:05, or 1:02:03 from an hour on.
    static QString format(double seconds);
    // Seconds left now (the paused remainder while paused, 0 while idle).
    double remaining() const;

    // Set by the owner before use.
    std::function<void()> onChange;
    std::function<void(const TransientActivity&)> showTransient;

signals:
    void stateChanged();
    void labelChanged();

private:
    void run(double seconds, double total);
    void finish();
    void setState(State state);
    void setLabel(const QString& label);
    void changed();

    Environment env_;
    State state_ = Idle{};
    QString label_ = QStringLiteral("Timer");
    DelayedJob completion_;
};

} // namespace orlet
