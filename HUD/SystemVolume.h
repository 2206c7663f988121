#pragma once

#include <functional>
#include <optional>

namespace orlet {

// The volume and mute state of the default output, following it when another output becomes
// the default. Without an output every read is absent or false and the setters do nothing.
// Main thread only; the callbacks run on the main thread.
class SystemVolume {
public:
    virtual ~SystemVolume() = default;

    virtual void start() = 0;

    // 0...1; absent without an output.
    virtual std::optional<double> get() const = 0;
    virtual bool isMuted() const = 0;
    // Clamped to 0...1.
    virtual void set(double value) = 0;
    virtual void setMuted(bool muted) = 0;

    // The volume or mute state of the default output changed, whoever changed it.
    std::function<void()> onChange;
    // Another output became the default, or the last one went away.
    std::function<void()> onDeviceChange;
};

} // namespace orlet
