#include "HUD/PulseSystemVolume.h"

#include "Platform/Log.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <pulse/glib-mainloop.h>
#include <pulse/pulseaudio.h>

namespace orlet {

PulseSystemVolume::PulseSystemVolume(Clock& clock, std::string server)
    : clock_(clock), server_(std::move(server)) {}

PulseSystemVolume::~PulseSystemVolume() {
    retry_.cancel();
    disconnect();
    if (loop_ != nullptr) {
        pa_glib_mainloop_free(loop_);
    }
}

void PulseSystemVolume::start() {
    if (started_) {
        return;
    }
    started_ = true;
    // Callbacks run from the thread's default GLib context, which only a GLib-based Qt event
    // loop turns.
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher == nullptr ||
        !QByteArray(dispatcher->metaObject()->className()).contains("Glib")) {
        qCWarning(logHud()) << "No GLib event loop: volume unavailable";
        return;
    }
    loop_ = pa_glib_mainloop_new(nullptr);
    connect();
}

void PulseSystemVolume::connect() {
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Orlet");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "com.brambleowl.orlet");
    context_ = pa_context_new_with_proplist(pa_glib_mainloop_get_api(loop_), "Orlet", properties);
    pa_proplist_free(properties);
    if (context_ == nullptr) {
        return;
    }
    pa_context_set_state_callback(context_, &PulseSystemVolume::stateChanged, this);
    if (pa_context_connect(context_, server_.empty() ? nullptr : server_.c_str(),
                           PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        // The state callback has seen the failure and planned the next try.
        return;
    }
}

void PulseSystemVolume::disconnect() {
    if (context_ == nullptr) {
        return;
    }
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_set_subscribe_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
    ready_ = false;
    writesInFlight_ = 0;
    heldReport_.reset();
}

void PulseSystemVolume::stateChanged(pa_context* context, void* self) {
    auto* volume = static_cast<PulseSystemVolume*>(self);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        volume->ready_ = true;
        pa_context_set_subscribe_callback(context, &PulseSystemVolume::eventArrived, volume);
        pa_operation_unref(
            pa_context_subscribe(context,
                                 static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK |
                                                                     PA_SUBSCRIPTION_MASK_SERVER),
                                 nullptr, nullptr));
        volume->readServer();
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        // Not from inside the context's own callback: it is freed here.
        volume->retry_ = volume->clock_.schedule(std::chrono::milliseconds(0), [volume] {
            volume->disconnect();
            volume->report(std::nullopt);
            volume->retry_ =
                volume->clock_.schedule(retryInterval, [volume] { volume->connect(); });
        });
        break;
    default:
        break;
    }
}

void PulseSystemVolume::eventArrived(pa_context*, pa_subscription_event_type_t type,
                                     std::uint32_t index, void* self) {
    auto* volume = static_cast<PulseSystemVolume*>(self);
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
        // The default sink may have changed.
        volume->readServer();
    } else if (facility == PA_SUBSCRIPTION_EVENT_SINK) {
        if (volume->sink_ && volume->sink_->index == index) {
            if (kind == PA_SUBSCRIPTION_EVENT_REMOVE) {
                volume->readServer();
            } else {
                volume->readSink(volume->sink_->name);
            }
        } else if (!volume->sink_ && kind == PA_SUBSCRIPTION_EVENT_NEW) {
            volume->readServer();
        }
    }
}

void PulseSystemVolume::readServer() {
    if (ready_) {
        pa_operation_unref(
            pa_context_get_server_info(context_, &PulseSystemVolume::serverRead, this));
    }
}

void PulseSystemVolume::serverRead(pa_context*, const pa_server_info* info, void* self) {
    auto* volume = static_cast<PulseSystemVolume*>(self);
    const std::string name =
        info != nullptr && info->default_sink_name != nullptr ? info->default_sink_name : "";
    volume->defaultName_ = name;
    if (name.empty()) {
        volume->report(std::nullopt);
    } else {
        volume->readSink(name);
    }
}

void PulseSystemVolume::readSink(const std::string& name) {
    if (ready_) {
        pa_operation_unref(pa_context_get_sink_info_by_name(context_, name.c_str(),
                                                            &PulseSystemVolume::sinkRead, this));
    }
}

void PulseSystemVolume::sinkRead(pa_context*, const pa_sink_info* info, int eol, void* self) {
    auto* volume = static_cast<PulseSystemVolume*>(self);
    if (eol < 0) {
        // The sink went before it could be read: whatever is the default now.
        if (!volume->defaultName_.empty()) {
            volume->report(std::nullopt);
        }
        return;
    }
    if (info == nullptr || info->name == nullptr) {
        return;
    }
    if (volume->defaultName_ != info->name) {
        // A late answer about a sink that is no longer the default.
        return;
    }
    volume->report(Sink{info->index, info->name, info->volume, info->mute != 0});
}

void PulseSystemVolume::written(pa_context*, int, void* self) {
    auto* volume = static_cast<PulseSystemVolume*>(self);
    volume->writesInFlight_ = std::max(0, volume->writesInFlight_ - 1);
    if (volume->writesInFlight_ == 0 && volume->heldReport_ && volume->sink_) {
        // What was held may predate our last write: ask again, the answer comes after it.
        volume->heldReport_.reset();
        volume->readSink(volume->sink_->name);
    }
}

void PulseSystemVolume::report(std::optional<Sink> sink) {
    if (writesInFlight_ > 0 && sink && sink_ && sink->name == sink_->name) {
        heldReport_ = std::move(sink);
        return;
    }
    const bool deviceChanged =
        sink.has_value() != sink_.has_value() ||
        (sink && sink_ && (sink->name != sink_->name || sink->index != sink_->index));
    const bool levelChanged = !deviceChanged && sink && sink_ &&
                              (level(*sink) != level(*sink_) || sink->muted != sink_->muted);
    sink_ = std::move(sink);
    if (deviceChanged) {
        if (onDeviceChange) {
            onDeviceChange();
        }
    } else if (levelChanged && onChange) {
        onChange();
    }
}

std::optional<double> PulseSystemVolume::level(const Sink& sink) {
    if (sink.volume.channels == 0) {
        return std::nullopt;
    }
    // Above 100 % (amplified) reads as full.
    return std::clamp(static_cast<double>(pa_cvolume_max(&sink.volume)) / PA_VOLUME_NORM, 0.0, 1.0);
}

std::optional<double> PulseSystemVolume::get() const {
    return sink_ ? level(*sink_) : std::nullopt;
}

bool PulseSystemVolume::isMuted() const {
    return sink_ && sink_->muted;
}

void PulseSystemVolume::set(double value) {
    if (!sink_ || !ready_ || sink_->volume.channels == 0 || std::isnan(value)) {
        return;
    }
    const auto target =
        static_cast<pa_volume_t>(std::lround(std::clamp(value, 0.0, 1.0) * PA_VOLUME_NORM));
    // Keeps the balance between the channels.
    pa_cvolume_scale(&sink_->volume, target);
    ++writesInFlight_;
    pa_operation_unref(pa_context_set_sink_volume_by_index(context_, sink_->index, &sink_->volume,
                                                           &PulseSystemVolume::written, this));
}

void PulseSystemVolume::setMuted(bool muted) {
    if (!sink_ || !ready_) {
        return;
    }
    sink_->muted = muted;
    ++writesInFlight_;
    pa_operation_unref(pa_context_set_sink_mute_by_index(context_, sink_->index, muted ? 1 : 0,
                                                         &PulseSystemVolume::written, this));
}

} // namespace orlet
