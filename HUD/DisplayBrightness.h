#pragma once

#include <functional>
#include <optional>

namespace orlet {

// The brightness of the display's backlight, 0...1. Without a backlight nothing can be read or
// set. Main thread only.
class DisplayBrightness {
public:
    virtual ~DisplayBrightness() = default;

    // A backlight exists that can be read and set.
    virtual bool isAvailable() const = 0;
    virtual std::optional<double> get() const = 0;
    // Clamped to 0...1.
    virtual void set(double value) = 0;

    // Snaps the level to the grid of `by` and moves it one step; nothing when unavailable or
    // unreadable.
    void change(double by);

    // `current` snapped to the nearest multiple of |step|, moved by `step`, clamped to 0...1;
    // a step of 0 only clamps.
    static double stepped(double current, double step);

    // Every level the backlight announces, whoever changed it.
    std::function<void(double)> onNotification;
};

} // namespace orlet
