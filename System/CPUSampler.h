#pragma once

#include "System/CPULoad.h"
#include "System/SystemSource.h"

#include <memory>
#include <optional>
#include <vector>

namespace orlet {

// Processor load between consecutive samples. Each owner keeps its own copy: the previous
// reading lives inside.
class CPUSampler {
public:
    using Ticks = std::vector<CPUTicks>;

    // The machine's own counters unless a source is given.
    explicit CPUSampler(std::shared_ptr<const SystemSource> source = nullptr);

    // Nothing on the first call and whenever the read fails (the previous reading is kept
    // then); a load from the second call on.
    std::optional<CPULoad> sample();

    // Nothing when the processor count differs or there are no processors.
    static std::optional<CPULoad> load(const Ticks& from, const Ticks& to);

    const std::optional<Ticks>& previous() const { return previous_; }

private:
    std::shared_ptr<const SystemSource> source_;
    std::optional<Ticks> previous_;
};

} // namespace orlet
