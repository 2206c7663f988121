#pragma once

#include "HUD/SystemVolume.h"

#include <QObject>
#include <optional>

namespace orlet {

// The output volume and mute state as the views show them, read from the system when made and
// on refresh(). Observers hear only of values that changed. Main thread only.
class AudioState : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hasVolume READ hasVolume NOTIFY volumeChanged) ///< false without an output
    Q_PROPERTY(double volume READ volumeOrZero NOTIFY volumeChanged)
    Q_PROPERTY(bool isMuted READ isMuted NOTIFY isMutedChanged)

public:
    explicit AudioState(SystemVolume& system, QObject* parent = nullptr);

    std::optional<double> volume() const { return volume_; }
    bool hasVolume() const { return volume_.has_value(); }
    double volumeOrZero() const { return volume_.value_or(0); }
    bool isMuted() const { return isMuted_; }

    void refresh();
    // Unmutes first when muted; the level is clamped by the system.
    Q_INVOKABLE void set(double value);

signals:
    void volumeChanged();
    void isMutedChanged();

private:
    void assign(std::optional<double> volume, bool muted);

    SystemVolume& system_;
    std::optional<double> volume_;
    bool isMuted_ = false;
};

} // namespace orlet
