#include "HUD/BrightnessMonitor.h"

#include "HUD/DisplayBrightness.h"

#include <cmath>

namespace orlet {

BrightnessMonitor::BrightnessMonitor(DisplayBrightness& brightness) : brightness_(brightness) {}

void BrightnessMonitor::start() {
    if (!brightness_.isAvailable()) {
        return;
    }
    lastValue_ = brightness_.get();
    brightness_.onNotification = [this](double value) { received(value); };
}

void BrightnessMonitor::received(double value) {
    // A hair of tolerance: 0.53 - 0.51 is not exactly 0.02 in binary.
    if (lastValue_ && std::abs(value - *lastValue_) >= threshold - 1e-9 && onChange) {
        onChange(value);
    }
    lastValue_ = value;
}

} // namespace orlet
