#pragma once

#include "HUD/SystemVolume.h"
#include "Platform/Clock.h"

#include <cstdint>
#include <pulse/def.h>
#include <pulse/volume.h>
#include <string>

struct pa_context;
struct pa_glib_mainloop;
struct pa_sink_info;
struct pa_server_info;

namespace orlet {

// The default sink of the PulseAudio server (PulseAudio itself or PipeWire's pulse server).
// libpulse runs on the main thread's GLib loop, which Qt's event loop drives, so every
// callback is already on the main thread. Reads answer from the last state the server
// reported; writes change that state at once and the server's echo of them is not reported as
// a change. A server that goes away is looked for again every `retryInterval`.
class PulseSystemVolume : public SystemVolume {
public:
    static constexpr std::chrono::seconds retryInterval{10};

    // `server`: an address such as "unix:/run/user/1000/pulse/native"; empty: the user's own.
    explicit PulseSystemVolume(Clock& clock, std::string server = {});
    ~PulseSystemVolume() override;
    PulseSystemVolume(const PulseSystemVolume&) = delete;
    PulseSystemVolume& operator=(const PulseSystemVolume&) = delete;

    void start() override;
    std::optional<double> get() const override;
    bool isMuted() const override;
    void set(double value) override;
    void setMuted(bool muted) override;

    bool isConnected() const { return ready_; }
    // The name of the sink followed, empty without one.
    std::string sinkName() const { return sink_ ? sink_->name : std::string(); }

private:
    struct Sink {
        std::uint32_t index = 0;
        std::string name;
        pa_cvolume volume{};
        bool muted = false;
    };

    static void stateChanged(pa_context* context, void* self);
    static void eventArrived(pa_context* context, pa_subscription_event_type_t type,
                             std::uint32_t index, void* self);
    static void serverRead(pa_context* context, const pa_server_info* info, void* self);
    static void sinkRead(pa_context* context, const pa_sink_info* info, int eol, void* self);
    static void written(pa_context* context, int success, void* self);

    void connect();
    void disconnect();
    void readServer();
    void readSink(const std::string& name);
    void report(std::optional<Sink> sink);
    static std::optional<double> level(const Sink& sink);

    Clock& clock_;
    std::string server_;
    pa_glib_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    bool started_ = false;
    bool ready_ = false;
    std::optional<Sink> sink_;
    std::string defaultName_;
    // Reports that arrive while our own writes are on their way show a state we already left.
    int writesInFlight_ = 0;
    std::optional<std::optional<Sink>> heldReport_;
    DelayedJob retry_;
};

} // namespace orlet
