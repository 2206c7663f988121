#include "Media/LyricsService.h"

#include "Media/LRC.h"
#include "Media/LRCLib.h"
#include "Platform/DefaultsStore.h"
#include "Platform/Log.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>

namespace orlet {
namespace {

const QString enabledKey = QStringLiteral("lyrics.enabled");

// A crawling rate would ask for a delay no timer can hold; the line is then re-checked daily.
constexpr double longestDelay = 24 * 60 * 60;
constexpr double slack = 1e-6;

} // namespace

LyricsService::LyricsService(Environment environment, QObject* parent)
    : QObject(parent), env_(std::move(environment)),
      isEnabled_(env_.defaults.boolValue(enabledKey).value_or(false)) {}

LyricsService::~LyricsService() = default;

LyricsService& LyricsService::shared() {
    static LyricsService* const service = [] {
        std::unique_ptr<LRCLib> client = LRCLib::fromEnvironment();
        // Parented to the application, so its network manager goes while Qt still runs.
        auto* created =
            new LyricsService(Environment{Clock::shared(), DefaultsStore::shared(), *client, {}},
                              QCoreApplication::instance());
        created->ownedFetcher_ = std::move(client);
        return created;
    }();
    return *service;
}

void LyricsService::update(const std::optional<NowPlayingInfo>& info) {
    playing_ = info;
    if (isEnabled_) {
        if (info) {
            const LyricsQuery query(*info);
            const std::string key = query.cacheKey();
            if (key != currentKey_) {
                currentKey_ = key;
                task_.reset();
                if (const auto cached = cache_.find(key); cached != cache_.end()) {
                    if (cached->second != state_) {
                        setState(cached->second);
                    }
                } else {
                    if (state_ != State::loading()) {
                        setState(State::loading());
                    }
                    start(query, key);
                }
            }
        } else {
            currentKey_.reset();
            task_.reset();
            if (state_ != State::loading()) {
                setState(State::loading());
            }
        }
    }
    resync();
    refreshShowsOnNotch();
}

void LyricsService::setEnabled(bool enabled) {
    if (enabled == isEnabled_) {
        return;
    }
    isEnabled_ = enabled;
    env_.defaults.set(enabledKey, enabled);
    emit isEnabledChanged();
    currentKey_.reset();
    if (enabled) {
        update(env_.currentInfo ? env_.currentInfo() : std::nullopt);
    } else {
        task_.reset();
        if (state_ != State::off()) {
            setState(State::off());
        }
    }
    resync();
    refreshShowsOnNotch();
}

bool LyricsService::showsOnNotch() const {
    if (!isEnabled_ || !state_.isSynced() || !env_.currentInfo) {
        return false;
    }
    const std::optional<NowPlayingInfo> info = env_.currentInfo();
    return info && info->isPlaying;
}

void LyricsService::setCurrentInfoSource(InfoSource source) {
    env_.currentInfo = std::move(source);
    refreshShowsOnNotch();
}

void LyricsService::currentInfoChanged() {
    refreshShowsOnNotch();
}

void LyricsService::setState(State state) {
    state_ = std::move(state);
    emit stateChanged();
    refreshShowsOnNotch();
}

void LyricsService::setLineIndex(std::optional<std::size_t> index) {
    if (index != lineIndex_) {
        lineIndex_ = index;
        emit lineIndexChanged();
    }
}

void LyricsService::start(const LyricsQuery& query, const std::string& key) {
    task_ = env_.fetcher.fetch(
        query, [this, key](LyricsFetcher::Outcome outcome) { finished(key, std::move(outcome)); });
}

void LyricsService::finished(const std::string& key, LyricsFetcher::Outcome outcome) {
    // A fetcher that answers after all must not touch the track shown now.
    if (key != currentKey_) {
        return;
    }
    if (const LyricsFailure* failure = std::get_if<LyricsFailure>(&outcome)) {
        qCWarning(logApp(), "Lyrics: %s", qUtf8Printable(failure->description));
        if (state_ != State::failed()) {
            setState(State::failed());
            resync();
        }
        return;
    }
    const State& state = std::get<State>(outcome);
    store(key, state);
    if (state != state_) {
        setState(state);
        resync();
    }
}

void LyricsService::store(const std::string& key, const State& state) {
    cache_.insert_or_assign(key, state);
    if (cache_.size() > cacheLimit) {
        cache_.clear();
    }
}

void LyricsService::resync() {
    lineTimer_.cancel();
    lineDue_.reset();
    const std::optional<double> position = isEnabled_ && state_.isSynced() && playing_
                                               ? playing_->position(env_.clock.date())
                                               : std::nullopt;
    if (!position) {
        setLineIndex(std::nullopt);
        return;
    }
    const std::vector<LyricLine>& lines = state_.lines();
    const double t = *position + lead;
    // Positions are sums of doubles: a microsecond of slack lets a timer that fires on time
    // see its line even when the sum lands a hair short of the line's time.
    const std::optional<std::size_t> index = LRC::index(t + slack, lines);
    setLineIndex(index);
    if (!playing_->isPlaying) {
        return;
    }
    const std::size_t next = index ? *index + 1 : 0;
    if (next >= lines.size()) {
        return;
    }
    const double rate = playing_->rate > 0 ? playing_->rate : 1;
    double delay = (lines[next].time - t) / rate;
    delay = std::isnan(delay) ? minimumDelay : std::clamp(delay, minimumDelay, longestDelay);
    const Clock::Duration wait =
        std::chrono::round<std::chrono::microseconds>(std::chrono::duration<double>(delay));
    lineDue_ = env_.clock.now() + wait;
    dueLine_ = next;
    lineTimer_ = env_.clock.schedule(wait, [this] { lineFired(); });
}

void LyricsService::lineFired() {
    if (lineDue_) {
        const auto late =
            std::chrono::duration_cast<std::chrono::milliseconds>(env_.clock.now() - *lineDue_);
        qCDebug(logApp(), "Lyrics line %ld fired %ld ms late", static_cast<long>(dueLine_),
                static_cast<long>(late.count()));
    }
    resync();
}

void LyricsService::refreshShowsOnNotch() {
    const bool shows = showsOnNotch();
    if (shows != showsOnNotch_) {
        showsOnNotch_ = shows;
        emit showsOnNotchChanged();
    }
}

} // namespace orlet
