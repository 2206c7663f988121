#pragma once

#include "OrletMedia/NowPlayingEncoder.h"
#include "OrletMedia/NowPlayingSource.h"
#include "OrletMedia/ProcessMonitor.h"
#include "Platform/Clock.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace orlet {

// The helper's work on its event loop: debounced refreshes of the now-playing state, the watch
// on the now-playing process, commands from the input, and every output line.
class MediaHelper {
public:
    static constexpr std::chrono::milliseconds playerChangeDelay{60};
    static constexpr std::chrono::milliseconds commandDelay{150};
    static constexpr std::chrono::milliseconds playerVanishedDelay{200};
    static constexpr std::chrono::milliseconds processExitDelay{250};
    // How long the end of input waits for commands still on their way to a player.
    static constexpr std::chrono::milliseconds finishGrace{1000};

    MediaHelper(NowPlayingSource& source, ProcessMonitor& processes, Clock& clock,
                std::function<void(std::string_view)> write);
    ~MediaHelper();
    MediaHelper(const MediaHelper&) = delete;
    MediaHelper& operator=(const MediaHelper&) = delete;

    // Writes ready, starts the source and reports the state as soon as it is known.
    void start();
    // One line of input.
    void handleLine(std::string_view line);
    // The input ended: `done` runs once the commands already sent have been delivered, or after
    // a short grace.
    void finish(std::function<void()> done);

    // Debounce: a newer schedule replaces the pending one.
    void scheduleRefresh(Clock::Duration delay);
    void refreshNow();

    bool isRefreshPending() const { return pendingRefresh_.isPending(); }
    pid_t watchedPid() const { return watchedPid_; }

private:
    void answered(std::uint64_t generation, const std::optional<NowPlayingSnapshot>& snapshot);
    void watchProcess(pid_t pid);
    void commandDone();

    NowPlayingSource& source_;
    ProcessMonitor& processes_;
    Clock& clock_;
    std::function<void(std::string_view)> write_;
    NowPlayingEncoder encoder_;
    DelayedJob pendingRefresh_;
    // Answers to older queries are dropped: a newer one is on its way.
    std::uint64_t generation_ = 0;
    pid_t watchedPid_ = 0;
    std::unique_ptr<ProcessMonitor::Watch> watch_;
    int commandsInFlight_ = 0;
    std::function<void()> finished_;
    DelayedJob finishTimeout_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace orlet
