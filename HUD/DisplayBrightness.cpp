#include "HUD/DisplayBrightness.h"

#include <algorithm>
#include <cmath>

namespace orlet {

void DisplayBrightness::change(double by) {
    if (!isAvailable()) {
        return;
    }
    if (const std::optional<double> current = get()) {
        set(stepped(*current, by));
    }
}

double DisplayBrightness::stepped(double current, double step) {
    if (step == 0) {
        return std::clamp(current, 0.0, 1.0);
    }
    const double size = std::abs(step);
    return std::clamp(step + size * std::round(current / size), 0.0, 1.0);
}

} // namespace orlet
