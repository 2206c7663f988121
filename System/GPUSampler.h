#pragma once

#include "System/SystemSource.h"

#include <memory>
#include <optional>
#include <vector>

namespace orlet {

// Utilisation of the busiest accelerator; nothing on machines that report none.
class GPUSampler {
public:
    explicit GPUSampler(std::shared_ptr<const SystemSource> source = nullptr);

    std::optional<double> sample() const;

    // The largest percentage (negative ones count as 0) as a fraction clamped to 0…1; nothing
    // when there is none.
    static std::optional<double> utilisation(const std::vector<double>& percents);

private:
    std::shared_ptr<const SystemSource> source_;
};

} // namespace orlet
