#pragma once

#include "HUD/AlertSampler.h"
#include "HUD/DisplayBrightness.h"
#include "HUD/HeadphoneSource.h"
#include "HUD/MediaKeyTap.h"
#include "HUD/PowerNotifications.h"
#include "HUD/SystemVolume.h"

#include <algorithm>
#include <deque>
#include <vector>

namespace orlet::test {

// An output whose state the test sets; writes land at once and echo like a real server would.
class FakeSystemVolume : public SystemVolume {
public:
    std::optional<double> volume = 0.5;
    bool muted = false;
    std::vector<double> writes;

    void start() override {}
    std::optional<double> get() const override { return volume; }
    bool isMuted() const override { return volume && muted; }
    void set(double value) override {
        if (volume) {
            writes.push_back(value);
            volume = std::clamp(value, 0.0, 1.0);
        }
    }
    void setMuted(bool value) override {
        if (volume) {
            muted = value;
        }
    }
    // Someone else changed the output.
    void external(double value, bool mute) {
        volume = value;
        muted = mute;
        if (onChange) {
            onChange();
        }
    }
};

class FakeBrightness : public DisplayBrightness {
public:
    std::optional<double> level = 0.5;

    bool isAvailable() const override { return level.has_value(); }
    std::optional<double> get() const override { return level; }
    void set(double value) override { level = std::clamp(value, 0.0, 1.0); }
    void announce(double value) {
        if (onNotification) {
            onNotification(value);
        }
    }
};

// Keys can be taken once `trusted` is true.
class FakeKeyTap : public MediaKeyTap {
public:
    bool trusted = true;
    bool failStart = false;
    bool running = false;
    int trustChecks = 0;

    bool isTrusted() override {
        ++trustChecks;
        return running || trusted;
    }
    bool start() override {
        running = running || (trusted && !failStart);
        return running;
    }
    void stop() override { running = false; }
    bool isRunning() const override { return running; }
    // A key event as the keyboard produces it; whether it was swallowed.
    bool press(const MediaKeyEvent& event, std::uint64_t modifiers = 0) {
        return running && deliver(event, modifiers);
    }
};

class FakePowerNotifications : public PowerNotifications {
public:
    std::function<void()> changed;
    void start(std::function<void()> callback) override { changed = std::move(callback); }
};

// Recorded readings, one per round; answers at once.
class RecordedAlertSampler : public AlertSampler {
public:
    std::deque<Reading> readings;
    std::vector<bool> storageAsked;

    void read(bool withStorage, std::function<void(Reading)> done) override {
        storageAsked.push_back(withStorage);
        Reading reading;
        if (!readings.empty()) {
            reading = readings.front();
            readings.pop_front();
        }
        if (!withStorage) {
            reading.available.reset();
        }
        done(reading);
    }
};

// Devices answer with whatever the test put in `levels` at the time of the read.
class FakeHeadphoneSource : public HeadphoneSource {
public:
    bool started = false;
    std::map<QString, std::map<QString, QVariant>> levels;
    std::vector<QString> reads;

    void start() override { started = true; }
    void stop() override { started = false; }
    void read(const Device& device,
              std::function<void(std::map<QString, QVariant>)> done) override {
        reads.push_back(device.handle);
        done(levels[device.handle]);
    }
    void connect(const Device& device) {
        if (onConnect) {
            onConnect(device);
        }
    }
};

} // namespace orlet::test
