#pragma once

#include "Media/LyricsFetcher.h"
#include "Media/LyricsState.h"
#include "Media/NowPlayingInfo.h"
#include "Platform/Clock.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

namespace orlet {

class DefaultsStore;

// Time-synced lyrics of what is playing: fetches them once per track (cached), and follows
// playback with one timer per line, so `lineIndex` changes when the next line is due. Main
// thread only.
class LyricsService : public QObject {
    Q_OBJECT
    // clang-format off
    Q_PROPERTY(orlet::LyricsState state READ state NOTIFY stateChanged) ///< off until enabled
    Q_PROPERTY(int lineIndex READ lineIndexValue NOTIFY lineIndexChanged) ///< the current synced line, -1 for none
    Q_PROPERTY(bool isEnabled READ isEnabled WRITE setEnabled NOTIFY isEnabledChanged) ///< stored under "lyrics.enabled", false when absent
    Q_PROPERTY(bool showsOnNotch READ showsOnNotch NOTIFY showsOnNotchChanged) ///< enabled, synced, and the shown info is playing
    // clang-format on

public:
    using State = LyricsState;
    using InfoSource = std::function<std::optional<NowPlayingInfo>()>;

    struct Environment {
        Clock& clock;
        DefaultsStore& defaults;
        LyricsFetcher& fetcher;
        // What the now playing service shows; none until it is wired.
        InfoSource currentInfo;
    };

    static constexpr std::size_t cacheLimit = 200;
    // Lines are shown this much before their time.
    static constexpr double lead = 0.45;
    static constexpr double minimumDelay = 0.01;

    explicit LyricsService(Environment environment, QObject* parent = nullptr);
    ~LyricsService() override;

    // Fetches from LRCLIB (or ORLET_LYRICS_URL) on the shared clock and defaults.
    static LyricsService& shared();

    // Every publish of the now playing service, also when nothing changed.
    void update(const std::optional<NowPlayingInfo>& info);

    const State& state() const { return state_; }
    std::optional<std::size_t> lineIndex() const { return lineIndex_; }
    int lineIndexValue() const { return lineIndex_ ? static_cast<int>(*lineIndex_) : -1; }
    bool isEnabled() const { return isEnabled_; }
    void setEnabled(bool enabled);
    bool showsOnNotch() const;

    void setCurrentInfoSource(InfoSource source);
    // The now playing service's info changed: showsOnNotch may have.
    void currentInfoChanged();

signals:
    void stateChanged();
    void lineIndexChanged();
    void isEnabledChanged();
    void showsOnNotchChanged();

private:
    void setState(State state);
    void setLineIndex(std::optional<std::size_t> index);
    void start(const LyricsQuery& query, const std::string& key);
    void finished(const std::string& key, LyricsFetcher::Outcome outcome);
    void store(const std::string& key, const State& state);
    void resync();
    void lineFired();
    void refreshShowsOnNotch();

    Environment env_;
    std::unique_ptr<LyricsFetcher> ownedFetcher_; // the shared instance's client
    State state_ = State::off();
    std::optional<std::size_t> lineIndex_;
    bool isEnabled_ = false;
    bool showsOnNotch_ = false;
    std::optional<std::string> currentKey_;
    std::unordered_map<std::string, State> cache_;
    std::unique_ptr<LyricsFetcher::Task> task_;
    std::optional<NowPlayingInfo> playing_;
    DelayedJob lineTimer_;
    std::optional<Clock::TimePoint> lineDue_;
    std::size_t dueLine_ = 0;
    // No wake lock or sleep inhibitor is held while following playback: the clock's timers are
    // precise already and must not keep the machine awake.
};

} // namespace orlet
