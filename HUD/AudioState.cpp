#include "HUD/AudioState.h"

namespace orlet {

AudioState::AudioState(SystemVolume& system, QObject* parent)
    : QObject(parent), system_(system), volume_(system.get()), isMuted_(system.isMuted()) {}

void AudioState::refresh() {
    assign(system_.get(), system_.isMuted());
}

void AudioState::set(double value) {
    if (isMuted_) {
        system_.setMuted(false);
    }
    assign(value, false);
    system_.set(value);
}

void AudioState::assign(std::optional<double> volume, bool muted) {
    if (volume != volume_) {
        volume_ = volume;
        emit volumeChanged();
    }
    if (muted != isMuted_) {
        isMuted_ = muted;
        emit isMutedChanged();
    }
}

} // namespace orlet
