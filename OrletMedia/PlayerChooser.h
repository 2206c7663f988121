#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace orlet {

// Which MPRIS player is "now playing": the most recently active playing one; when none plays,
// the most recently active paused one. A paused player never takes over from a playing one, and
// a stopped player is never chosen.
class PlayerChooser {
public:
    enum class Status { stopped, paused, playing };

    // A player appeared or reported its state. Appearing, any change of status, and a new track
    // while playing make it the most recently active.
    void update(const std::string& name, Status status, const std::string& track);
    void remove(const std::string& name);
    std::optional<std::string> current() const;

    static Status statusOf(std::string_view playbackStatus);

private:
    struct Entry {
        Status status = Status::stopped;
        std::string track;
        std::uint64_t activeAt = 0;
    };

    std::map<std::string, Entry> players_;
    std::uint64_t counter_ = 0;
};

} // namespace orlet
