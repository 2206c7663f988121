#include "OrletMedia/PlayerChooser.h"

#include <utility>

namespace orlet {

void PlayerChooser::update(const std::string& name, Status status, const std::string& track) {
    const auto found = players_.find(name);
    if (found == players_.end()) {
        players_.emplace(name, Entry{status, track, ++counter_});
        return;
    }
    Entry& entry = found->second;
    if (entry.status != status || (status == Status::playing && entry.track != track)) {
        entry.activeAt = ++counter_;
    }
    entry.status = status;
    entry.track = track;
}

void PlayerChooser::remove(const std::string& name) {
    players_.erase(name);
}

std::optional<std::string> PlayerChooser::current() const {
    // Playing before paused, then the most recent activity.
    const auto rank = [](const Entry& entry) {
        return std::pair(entry.status == Status::playing, entry.activeAt);
    };
    const std::string* best = nullptr;
    const Entry* bestEntry = nullptr;
    for (const auto& [name, entry] : players_) {
        if (entry.status != Status::stopped &&
            (bestEntry == nullptr || rank(entry) > rank(*bestEntry))) {
            best = &name;
            bestEntry = &entry;
        }
    }
    return best ? std::optional<std::string>(*best) : std::nullopt;
}

PlayerChooser::Status PlayerChooser::statusOf(std::string_view playbackStatus) {
    if (playbackStatus == "Playing") {
        return Status::playing;
    }
    if (playbackStatus == "Paused") {
        return Status::paused;
    }
    return Status::stopped;
}

} // namespace orlet
