#include "System/NetworkSampler.h"

#include "System/LinuxSystemSource.h"

namespace orlet {

NetworkSampler::NetworkSampler(std::shared_ptr<const SystemSource> source)
    : source_(source ? std::move(source) : LinuxSystemSource::shared()) {}

std::optional<NetworkRates> NetworkSampler::sample(Clock::TimePoint now) {
    std::optional<Counters> current = source_->readInterfaces();
    if (!current) {
        return std::nullopt;
    }
    if (!previous_) {
        previous_ = Reading{std::move(*current), now};
        return std::nullopt;
    }
    const Clock::Duration elapsed = now - previous_->time;
    if (elapsed <= Clock::Duration::zero()) {
        return std::nullopt;
    }
    std::optional<NetworkRates> result = rates(previous_->counters, *current, elapsed);
    previous_ = Reading{std::move(*current), now};
    return result;
}

std::optional<NetworkRates> NetworkSampler::rates(const Counters& from, const Counters& to,
                                                  Clock::Duration elapsed) {
    if (elapsed <= Clock::Duration::zero()) {
        return std::nullopt;
    }
    std::uint64_t received = 0;
    std::uint64_t sent = 0;
    for (const auto& [name, now] : to) {
        const auto before = from.find(name);
        if (before == from.end()) {
            continue;
        }
        received +=
            now.received > before->second.received ? now.received - before->second.received : 0;
        sent += now.sent > before->second.sent ? now.sent - before->second.sent : 0;
    }
    const double seconds = std::chrono::duration<double>(elapsed).count();
    return NetworkRates{static_cast<double>(received) / seconds,
                        static_cast<double>(sent) / seconds};
}

} // namespace orlet
