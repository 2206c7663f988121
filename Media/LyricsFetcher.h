#pragma once

#include "Media/LyricsQuery.h"
#include "Media/LyricsState.h"

#include <QString>
#include <functional>
#include <memory>
#include <variant>

namespace orlet {

// Why a fetch gave no answer, in words for the log.
struct LyricsFailure {
    QString description;

    bool operator==(const LyricsFailure&) const = default;
};

// Looks up the lyrics of one track somewhere else (the network in production).
class LyricsFetcher {
public:
    using Outcome = std::variant<LyricsState, LyricsFailure>;
    using Completion = std::function<void(Outcome)>;

    // A running fetch. Destroying it cancels the fetch: its completion never runs afterwards.
    class Task {
    public:
        virtual ~Task() = default;
    };

    virtual ~LyricsFetcher() = default;

    // `done` runs once, later, on the main thread, unless the task is destroyed first.
    [[nodiscard]] virtual std::unique_ptr<Task> fetch(const LyricsQuery& query,
                                                      Completion done) = 0;
};

} // namespace orlet
