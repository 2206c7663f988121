#pragma once

#include <functional>

namespace orlet {

class AudioState;
class SystemVolume;

// Tells its owner about every volume or mute change of the default output, from any source,
// and keeps the audio state current when the default output changes. Runs for the process's
// life.
class VolumeMonitor {
public:
    VolumeMonitor(SystemVolume& system, AudioState& state);
    VolumeMonitor(const VolumeMonitor&) = delete;
    VolumeMonitor& operator=(const VolumeMonitor&) = delete;

    void start();

    std::function<void()> onChange;

private:
    SystemVolume& system_;
    AudioState& state_;
};

} // namespace orlet
