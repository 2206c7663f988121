#include "Today/FocusTimer.h"

#include "Today/ThemeSound.h"

#include <QCoreApplication>
#include <cmath>

namespace orlet {

const std::array<FocusTimer::Preset, 4>& FocusTimer::presets() {
    static const std::array<Preset, 4> list{{
        {5, QStringLiteral("Break")},
        {15, QStringLiteral("Timer")},
        {25, QStringLiteral("Focus")},
        {50, QStringLiteral("Deep work")},
    }};
    return list;
}

FocusTimer::FocusTimer(Environment environment, QObject* parent)
    : QObject(parent), env_(std::move(environment)) {}

FocusTimer& FocusTimer::shared() {
    static FocusTimer* const timer = [] {
        auto* sound = new ThemeSound(QCoreApplication::instance());
        return new FocusTimer(Environment{Clock::shared(), [sound] { sound->play(); }},
                              QCoreApplication::instance());
    }();
    return *timer;
}

QString FocusTimer::format(double seconds) {
    const long long s = std::max(0LL, static_cast<long long>(std::ceil(seconds)));
    if (s < 3600) {
        return QString::asprintf("%lld:%02lld", s / 60, s % 60);
    }
    return QString::asprintf("%lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60);
}

double FocusTimer::remaining() const {
    if (const Running* running = std::get_if<Running>(&state_)) {
        return std::max(0.0,
                        std::chrono::duration<double>(running->end - env_.clock.now()).count());
    }
    if (const Paused* paused = std::get_if<Paused>(&state_)) {
        return paused->remaining;
    }
    return 0;
}

void FocusTimer::start(const Preset& preset) {
    setLabel(preset.label);
    run(preset.minutes * 60.0, preset.minutes * 60.0);
}

void FocusTimer::startMinutes(int minutes) {
    start(Preset{minutes, QStringLiteral("Timer")});
}

void FocusTimer::pause() {
    const Running* running = std::get_if<Running>(&state_);
    if (running == nullptr) {
        return;
    }
    completion_.cancel();
    const double left = std::chrono::duration<double>(running->end - env_.clock.now()).count();
    setState(Paused{left > 0 ? left : 0, running->total});
    changed();
}

void FocusTimer::resume() {
    if (const Paused* paused = std::get_if<Paused>(&state_)) {
        const Paused was = *paused;
        run(was.remaining, was.total);
    }
}

void FocusTimer::stop() {
    completion_.cancel();
    setState(Idle{});
    changed();
}

void FocusTimer::addMinute() {
    if (const Running* running = std::get_if<Running>(&state_)) {
        const double left = std::chrono::duration<double>(running->end - env_.clock.now()).count();
        run(left + 60, running->total + 60);
    } else if (const Paused* paused = std::get_if<Paused>(&state_)) {
        setState(Paused{paused->remaining + 60, paused->total + 60});
        changed();
    }
}

void FocusTimer::run(double seconds, double total) {
    completion_.cancel();
    const auto length = std::chrono::duration_cast<Clock::Duration>(
        std::chrono::duration<double>(std::max(0.0, seconds)));
    setState(Running{env_.clock.now() + length, total});
    completion_ = env_.clock.schedule(length, [this] { finish(); });
    changed();
}

void FocusTimer::finish() {
    setState(Idle{});
    if (env_.playSound) {
        env_.playSound();
    }
    if (showTransient) {
        showTransient(TransientActivity::alert(QStringLiteral("timer"),
                                               label_ + QStringLiteral(" done"),
                                               TransientActivity::Severity::warning));
    }
    changed();
}

void FocusTimer::setState(State state) {
    if (state != state_) {
        state_ = std::move(state);
        emit stateChanged();
    }
}

void FocusTimer::setLabel(const QString& label) {
    if (label != label_) {
        label_ = label;
        emit labelChanged();
    }
}

void FocusTimer::changed() {
    if (onChange) {
        onChange();
    }
}

} // namespace orlet
