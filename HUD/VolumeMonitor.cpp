#include "HUD/VolumeMonitor.h"

#include "HUD/AudioState.h"
#include "HUD/SystemVolume.h"

namespace orlet {

VolumeMonitor::VolumeMonitor(SystemVolume& system, AudioState& state)
    : system_(system), state_(state) {}

void VolumeMonitor::start() {
    system_.onDeviceChange = [this] { state_.refresh(); };
    system_.onChange = [this] {
        if (onChange) {
            onChange();
        }
    };
    system_.start();
    state_.refresh();
}

} // namespace orlet
