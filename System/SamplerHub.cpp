#include "System/SamplerHub.h"

#include "System/LinuxSystemSource.h"

namespace orlet {

SamplerHub::SamplerHub(std::shared_ptr<const SystemSource> source)
    : cpu_(source ? source : LinuxSystemSource::shared()),
      gpu_(source ? source : LinuxSystemSource::shared()),
      memory_(source ? source : LinuxSystemSource::shared()),
      storage_(source ? source : LinuxSystemSource::shared()),
      network_(source ? source : LinuxSystemSource::shared()),
      battery_(source ? source : LinuxSystemSource::shared()) {}

void SamplerHub::prime(Clock::TimePoint now) {
    cpu_.sample();
    network_.sample(now);
}

SystemSnapshot SamplerHub::sample(const std::function<Clock::TimePoint()>& now) {
    SystemSnapshot snapshot;
    snapshot.cpu = cpu_.sample();
    snapshot.gpu = gpu_.sample();
    snapshot.memory = memory_.sample();
    snapshot.storage = storage_.sample(now());
    snapshot.network = network_.sample(now());
    snapshot.battery = battery_.sample();
    return snapshot;
}

} // namespace orlet
