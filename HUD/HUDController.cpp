#include "HUD/HUDController.h"

#include "HUD/AudioState.h"
#include "HUD/DisplayBrightness.h"
#include "HUD/SystemVolume.h"
#include "Platform/DefaultsStore.h"
#include "Platform/Log.h"

namespace orlet {

HUDController::HUDController(Environment environment, QObject* parent)
    : QObject(parent), env_(std::move(environment)), volumeMonitor_(env_.systemVolume, env_.audio),
      brightnessMonitor_(env_.brightness) {}

HUDController::~HUDController() {
    env_.keyTap.handler = nullptr;
    env_.keyTap.stop();
}

bool HUDController::setting(const QString& key, bool fallback) const {
    return env_.defaults.boolValue(key).value_or(fallback);
}

void HUDController::start() {
    setTrusted(env_.keyTap.isTrusted());
    qCInfo(logHud()).noquote() << QStringLiteral("Accessibility trusted: %1")
                                      .arg(isTrusted_ ? QStringLiteral("true")
                                                      : QStringLiteral("false"));
    volumeMonitor_.onChange = [this] { showVolume(); };
    volumeMonitor_.start();
    brightnessMonitor_.onChange = [this](double value) {
        if (setting(QStringLiteral("hud.show"), true)) {
            show(TransientActivity::level(TransientActivity::LevelKind::brightness, value, false));
        }
    };
    brightnessMonitor_.start();
    env_.power->onEvent = [this](const TransientActivity& activity) { show(activity); };
    env_.alerts->onEvent = [this](const TransientActivity& activity) { show(activity); };
    env_.power->start();
    env_.airPods->onBattery = [this](const HeadphoneBattery& battery) {
        show(TransientActivity::headphones(battery));
    };
    applyPreferences();
    // The tap lives no longer than the controller: the destructor takes the handler back.
    env_.keyTap.handler = [this](const MediaKeyEvent& event, std::uint64_t modifiers) {
        return handle(event, modifiers);
    };
}

void HUDController::applyPreferences() {
    if (setting(QStringLiteral("alerts.enabled"), true)) {
        env_.alerts->start();
    } else {
        env_.alerts->cancel();
    }
    if (setting(QStringLiteral("airpods.enabled"), false)) {
        env_.airPods->start();
    } else {
        env_.airPods->stop();
    }
    setTrusted(env_.keyTap.isTrusted());
    if (setting(QStringLiteral("hud.replaceSystem"), false) &&
        setting(QStringLiteral("hud.show"), true)) {
        if (isTrusted_) {
            setReplacing(env_.keyTap.start());
            qCInfo(logHud()).noquote()
                << QStringLiteral("Key tap %1")
                       .arg(isReplacingSystemHUD_ ? QStringLiteral("started")
                                                  : QStringLiteral("FAILED to start"));
        } else {
            qCInfo(logHud()).noquote()
                << "Hide-system-HUD is on but Accessibility is not granted; prompting";
            // No prompt exists for key grabs: the desktop must let go of the keys by itself.
            waitForTrust();
        }
        return;
    }
    env_.keyTap.stop();
    setReplacing(false);
}

void HUDController::waitForTrust() {
    trustPoll_.cancel();
    checkTrust(trustChecks);
}

void HUDController::checkTrust(int remaining) {
    if (remaining <= 0) {
        return;
    }
    trustPoll_ = env_.clock.schedule(trustInterval, [this, remaining] {
        if (env_.keyTap.isTrusted()) {
            applyPreferences();
        } else {
            checkTrust(remaining - 1);
        }
    });
}

void HUDController::showVolume() {
    env_.audio.refresh();
    if (!setting(QStringLiteral("hud.show"), true)) {
        return;
    }
    if (const std::optional<double> volume = env_.systemVolume.get()) {
        show(TransientActivity::level(TransientActivity::LevelKind::volume, *volume,
                                      env_.systemVolume.isMuted()));
    }
}

void HUDController::showBrightness(std::optional<double> value) {
    if (!setting(QStringLiteral("hud.show"), true)) {
        return;
    }
    if (!value) {
        value = env_.brightness.get();
        if (!value) {
            return;
        }
    }
    show(TransientActivity::level(TransientActivity::LevelKind::brightness, *value, false));
}

bool HUDController::handle(const MediaKeyEvent& event, std::uint64_t modifiers) {
    if (event.isDown) {
        qCDebug(logHud()).noquote() << QStringLiteral("Key %1").arg(mediaKeyName(event.key));
    }
    const double size = (modifiers & fineModifiers) == fineModifiers ? fineStep : step;
    switch (event.key) {
    case MediaKey::illuminationUp:
    case MediaKey::illuminationDown:
        return false;
    case MediaKey::mute:
        if (event.isDown && !event.isRepeat) {
            env_.systemVolume.setMuted(!env_.systemVolume.isMuted());
            showVolume();
        }
        return true;
    case MediaKey::brightnessUp:
    case MediaKey::brightnessDown:
        // Without a backlight of ours the desktop keeps these keys (external displays).
        if (!env_.brightness.isAvailable()) {
            return false;
        }
        if (event.isDown) {
            env_.brightness.change(event.key == MediaKey::brightnessUp ? size : -size);
            showBrightness(std::nullopt);
        }
        return true;
    case MediaKey::soundUp:
    case MediaKey::soundDown:
        if (event.isDown) {
            const double volume = env_.systemVolume.get().value_or(0);
            if (env_.systemVolume.isMuted()) {
                env_.systemVolume.setMuted(false);
            }
            env_.systemVolume.set(
                DisplayBrightness::stepped(volume, event.key == MediaKey::soundUp ? size : -size));
            showVolume();
        }
        return true;
    }
    return false;
}

void HUDController::show(const TransientActivity& activity) {
    if (env_.showTransient) {
        env_.showTransient(activity);
    }
}

void HUDController::setReplacing(bool replacing) {
    if (replacing != isReplacingSystemHUD_) {
        isReplacingSystemHUD_ = replacing;
        emit isReplacingSystemHUDChanged();
    }
}

void HUDController::setTrusted(bool trusted) {
    if (trusted != isTrusted_) {
        isTrusted_ = trusted;
        emit isTrustedChanged();
    }
}

} // namespace orlet
