#include "OrletMedia/MediaHelper.h"

#include <utility>

namespace orlet {

MediaHelper::MediaHelper(NowPlayingSource& source, ProcessMonitor& processes, Clock& clock,
                         std::function<void(std::string_view)> write)
    : source_(source), processes_(processes), clock_(clock), write_(std::move(write)) {
    source_.onChange = [this](NowPlayingSource::Change change) {
        scheduleRefresh(change == NowPlayingSource::Change::vanished ? playerVanishedDelay
                                                                     : playerChangeDelay);
    };
}

MediaHelper::~MediaHelper() {
    source_.onChange = nullptr;
}

void MediaHelper::start() {
    write_(NowPlayingEncoder::ready());
    source_.start([this, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.lock()) {
            refreshNow();
        }
    });
}

void MediaHelper::handleLine(std::string_view line) {
    const std::optional<HelperCommand> command = HelperCommand::parse(line);
    if (!command) {
        return;
    }
    if (command->kind != HelperCommand::Kind::refresh) {
        ++commandsInFlight_;
        source_.send(*command, [this, alive = std::weak_ptr<bool>(alive_)] {
            if (alive.lock()) {
                commandDone();
            }
        });
    }
    scheduleRefresh(commandDelay);
}

void MediaHelper::finish(std::function<void()> done) {
    if (commandsInFlight_ == 0) {
        done();
        return;
    }
    finished_ = std::move(done);
    finishTimeout_ = clock_.schedule(finishGrace, [this] {
        if (auto done = std::exchange(finished_, nullptr)) {
            done();
        }
    });
}

void MediaHelper::commandDone() {
    if (--commandsInFlight_ == 0 && finished_) {
        finishTimeout_.cancel();
        std::exchange(finished_, nullptr)();
    }
}

void MediaHelper::scheduleRefresh(Clock::Duration delay) {
    pendingRefresh_ = clock_.schedule(delay, [this] { refreshNow(); });
}

void MediaHelper::refreshNow() {
    pendingRefresh_.cancel();
    const std::uint64_t generation = ++generation_;
    source_.query([this, generation, alive = std::weak_ptr<bool>(alive_)](
                      const std::optional<NowPlayingSnapshot>& snapshot) {
        if (alive.lock()) {
            answered(generation, snapshot);
        }
    });
}

void MediaHelper::answered(std::uint64_t generation,
                           const std::optional<NowPlayingSnapshot>& snapshot) {
    if (generation != generation_) {
        return;
    }
    // The watch follows the player even while it has no title, so its exit is noticed.
    watchProcess(snapshot ? snapshot->pid : 0);
    if (!snapshot || !snapshot->title || snapshot->title->empty()) {
        write_(encoder_.nothingPlaying());
        return;
    }
    if (snapshot->pid > 0 && processes_.isGone(snapshot->pid)) {
        write_(encoder_.nothingPlaying());
        return;
    }
    write_(encoder_.encode(*snapshot));
}

void MediaHelper::watchProcess(pid_t pid) {
    if (pid == watchedPid_) {
        return;
    }
    watch_.reset();
    watchedPid_ = pid;
    if (pid > 0) {
        watch_ = processes_.watch(pid, [this, alive = std::weak_ptr<bool>(alive_)] {
            if (alive.lock()) {
                scheduleRefresh(processExitDelay);
            }
        });
    }
}

} // namespace orlet
