#pragma once

#include "HUD/AlertSampler.h"
#include "Platform/Clock.h"
#include "System/CPUSampler.h"
#include "System/StorageSampler.h"

#include <QObject>
#include <QThreadPool>
#include <memory>

namespace orlet {

// The machine's processor counters and system volume, read on one worker thread of its own so
// reads never overlap and never hold up the main thread.
class SystemAlertSampler : public AlertSampler {
public:
    // The machine's own counters unless a source is given.
    explicit SystemAlertSampler(Clock& clock, std::shared_ptr<const SystemSource> source = nullptr);
    ~SystemAlertSampler() override;
    SystemAlertSampler(const SystemAlertSampler&) = delete;
    SystemAlertSampler& operator=(const SystemAlertSampler&) = delete;

    void read(bool withStorage, std::function<void(Reading)> done) override;

private:
    Clock& clock_;
    CPUSampler cpu_;
    StorageSampler storage_;
    QThreadPool worker_;
    // Answers are delivered through it; gone with the sampler, they are dropped.
    QObject receiver_;
};

} // namespace orlet
