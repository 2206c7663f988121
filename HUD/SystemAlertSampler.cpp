#include "HUD/SystemAlertSampler.h"

namespace orlet {

SystemAlertSampler::SystemAlertSampler(Clock& clock, std::shared_ptr<const SystemSource> source)
    : clock_(clock), cpu_(source), storage_(source) {
    worker_.setMaxThreadCount(1);
    // An idle thread waits without waking; one kept is one not created every ten seconds.
    worker_.setExpiryTimeout(-1);
}

SystemAlertSampler::~SystemAlertSampler() {
    worker_.waitForDone();
}

void SystemAlertSampler::read(bool withStorage, std::function<void(Reading)> done) {
    worker_.start([this, withStorage, done = std::move(done)]() mutable {
        Reading reading;
        if (const std::optional<CPULoad> load = cpu_.sample()) {
            reading.load = load->total;
        }
        if (withStorage) {
            if (const std::optional<StorageStats> stats = storage_.sample(clock_.now())) {
                reading.available = stats->available;
            }
        }
        QMetaObject::invokeMethod(
            &receiver_, [done = std::move(done), reading] { done(reading); }, Qt::QueuedConnection);
    });
}

} // namespace orlet
