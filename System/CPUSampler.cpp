#include "System/CPUSampler.h"

#include "System/LinuxSystemSource.h"

#include <cstdint>
#include <limits>

namespace orlet {
namespace {

// A wrapping difference larger than half the range is a counter that stepped back (the
// kernel's iowait may), not one that ran past 2^32 within one interval: it counts nothing.
std::uint64_t delta(std::uint32_t from, std::uint32_t to) {
    const std::uint32_t step = to - from;
    return step > std::numeric_limits<std::uint32_t>::max() / 2 ? 0 : step;
}

} // namespace

CPUSampler::CPUSampler(std::shared_ptr<const SystemSource> source)
    : source_(source ? std::move(source) : LinuxSystemSource::shared()) {}

std::optional<CPULoad> CPUSampler::sample() {
    std::optional<Ticks> current = source_->readTicks();
    if (!current) {
        return std::nullopt;
    }
    std::optional<CPULoad> result = previous_ ? load(*previous_, *current) : std::nullopt;
    previous_ = std::move(current);
    return result;
}

std::optional<CPULoad> CPUSampler::load(const Ticks& from, const Ticks& to) {
    if (from.size() != to.size() || to.empty()) {
        return std::nullopt;
    }
    CPULoad result;
    result.perCore.reserve(to.size());
    std::uint64_t allBusy = 0;
    std::uint64_t allSum = 0;
    for (std::size_t i = 0; i < to.size(); ++i) {
        const std::uint64_t busy = delta(from[i].user, to[i].user) +
                                   delta(from[i].system, to[i].system) +
                                   delta(from[i].nice, to[i].nice);
        const std::uint64_t sum = busy + delta(from[i].idle, to[i].idle);
        result.perCore.push_back(sum == 0 ? 0.0
                                          : static_cast<double>(busy) / static_cast<double>(sum));
        allBusy += busy;
        allSum += sum;
    }
    result.total = allSum == 0 ? 0.0 : static_cast<double>(allBusy) / static_cast<double>(allSum);
    return result;
}

} // namespace orlet
