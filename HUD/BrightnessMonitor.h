#pragma once

#include <functional>
#include <optional>

namespace orlet {

class DisplayBrightness;

// Reports backlight changes of at least 0.02 from the last level seen, so the small steps of a
// dimming animation do not each pop the notch. Registers once and stays for the process's life.
class BrightnessMonitor {
public:
    static constexpr double threshold = 0.02;

    explicit BrightnessMonitor(DisplayBrightness& brightness);
    BrightnessMonitor(const BrightnessMonitor&) = delete;
    BrightnessMonitor& operator=(const BrightnessMonitor&) = delete;

    // Nothing without a backlight.
    void start();
    void received(double value);

    std::optional<double> lastValue() const { return lastValue_; }

    std::function<void(double)> onChange;

private:
    DisplayBrightness& brightness_;
    std::optional<double> lastValue_;
};

} // namespace orlet
