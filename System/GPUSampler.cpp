#include "System/GPUSampler.h"

#include "System/LinuxSystemSource.h"

#include <algorithm>
#include <cmath>

namespace orlet {

GPUSampler::GPUSampler(std::shared_ptr<const SystemSource> source)
    : source_(source ? std::move(source) : LinuxSystemSource::shared()) {}

std::optional<double> GPUSampler::sample() const {
    return utilisation(source_->readAcceleratorPercents());
}

std::optional<double> GPUSampler::utilisation(const std::vector<double>& percents) {
    std::optional<double> largest;
    for (const double percent : percents) {
        // A broken driver's NaN is no reading.
        if (std::isnan(percent)) {
            continue;
        }
        largest = std::max(largest.value_or(0.0), std::max(percent, 0.0));
    }
    if (!largest) {
        return std::nullopt;
    }
    return std::clamp(*largest / 100.0, 0.0, 1.0);
}

} // namespace orlet
