#pragma once

#include "HUD/AirPodsMonitor.h"
#include "HUD/AlertMonitor.h"
#include "HUD/BrightnessMonitor.h"
#include "HUD/MediaKeyTap.h"
#include "HUD/PowerMonitor.h"
#include "HUD/TransientActivity.h"
#include "HUD/VolumeMonitor.h"
#include "Platform/Clock.h"

#include <QObject>
#include <functional>
#include <memory>

namespace orlet {

class AudioState;
class DefaultsStore;
class DisplayBrightness;
class SystemVolume;

// The notch's heads-up display: a level pop-up for every volume, mute or brightness change,
// and, when the user wants the desktop's own overlay replaced, the volume, mute and brightness
// keys handled here. Also runs the power, load and headphone monitors and forwards what they
// announce. Main thread only.
class HUDController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isReplacingSystemHUD READ isReplacingSystemHUD NOTIFY
                   isReplacingSystemHUDChanged) ///< the keys are taken and handled here
    Q_PROPERTY(bool isTrusted READ isTrusted NOTIFY isTrustedChanged) ///< the keys can be taken

public:
    static constexpr double step = 1.0 / 16;
    static constexpr double fineStep = 1.0 / 64;
    // Shift and Option together choose the fine step.
    static constexpr std::uint64_t fineModifiers = MediaKeyTap::shiftFlag | MediaKeyTap::optionFlag;
    static constexpr int trustChecks = 120;
    static constexpr std::chrono::seconds trustInterval{1};

    struct Environment {
        Clock& clock;
        DefaultsStore& defaults;
        std::function<void(const TransientActivity&)> showTransient;
        MediaKeyTap& keyTap;
        SystemVolume& systemVolume;
        AudioState& audio;
        DisplayBrightness& brightness;
        std::unique_ptr<PowerMonitor> power;
        std::unique_ptr<AlertMonitor> alerts;
        std::unique_ptr<AirPodsMonitor> airPods;
    };

    explicit HUDController(Environment environment, QObject* parent = nullptr);
    ~HUDController() override;

    void start();
    // After any change of "hud.show", "hud.replaceSystem", "alerts.enabled", "airpods.enabled".
    void applyPreferences();

    bool isReplacingSystemHUD() const { return isReplacingSystemHUD_; }
    bool isTrusted() const { return isTrusted_; }

    void showVolume();
    // Without a value the backlight is read.
    void showBrightness(std::optional<double> value);
    // True swallows the key.
    bool handle(const MediaKeyEvent& event, std::uint64_t modifiers);

    PowerMonitor& power() { return *env_.power; }
    AlertMonitor& alerts() { return *env_.alerts; }
    AirPodsMonitor& airPods() { return *env_.airPods; }
    BrightnessMonitor& brightnessMonitor() { return brightnessMonitor_; }
    bool isWaitingForTrust() const { return trustPoll_.isPending(); }

signals:
    void isReplacingSystemHUDChanged();
    void isTrustedChanged();

private:
    bool setting(const QString& key, bool fallback) const;
    void setReplacing(bool replacing);
    void setTrusted(bool trusted);
    void waitForTrust();
    void checkTrust(int remaining);
    void show(const TransientActivity& activity);

    Environment env_;
    VolumeMonitor volumeMonitor_;
    BrightnessMonitor brightnessMonitor_;
    bool isReplacingSystemHUD_ = false;
    bool isTrusted_ = false;
    DelayedJob trustPoll_;
};

} // namespace orlet
