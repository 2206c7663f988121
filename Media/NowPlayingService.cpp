#include "Media/NowPlayingService.h"

#include "Media/ArtworkTint.h"
#include "Media/HelperMessage.h"
#include "Media/LyricsService.h"
#include "Media/MprisNativePlayers.h"
#include "Media/QtHelperLauncher.h"
#include "Media/ThreadPoolTasks.h"
#include "Platform/Log.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QPointer>
#include <algorithm>
#include <charconv>
#include <cmath>

namespace orlet {
namespace {

// The shortest text that reads back as the same number, always with a fractional part.
std::string decimal(double value) {
    char text[512];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    std::string out(text, result.ptr);
    if (out.find('.') == std::string::npos) {
        out += ".0";
    }
    return out;
}

std::optional<QByteArray> base64(const std::string& text) {
    auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromStdString(text),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? std::optional<QByteArray>(*decoded) : std::nullopt;
}

std::optional<QImage> image(const QByteArray& bytes) {
    QImage decoded = QImage::fromData(bytes);
    return decoded.isNull() ? std::nullopt : std::optional<QImage>(std::move(decoded));
}

std::optional<std::string> appOf(const std::optional<NowPlayingInfo>& info) {
    return info ? info->appBundleID : std::nullopt;
}

} // namespace

NowPlayingService::NowPlayingService(Environment environment, QObject* parent)
    : QObject(parent), env_(std::move(environment)) {}

NowPlayingService::~NowPlayingService() {
    env_.natives->onChange = nullptr;
    env_.natives->onQuit = nullptr;
}

NowPlayingService& NowPlayingService::shared() {
    static QPointer<NowPlayingService> instance;
    if (!instance) {
        Clock& clock = Clock::shared();
        Environment environment{
            clock,
            std::make_unique<QtHelperLauncher>(QtHelperLauncher::defaultFolder()),
            std::make_unique<MprisNativePlayers>(QDBusConnection::sessionBus(), clock),
            std::make_unique<ThreadPoolTasks>(),
            [](const std::string& id) { return DesktopEntries::shared().find(id); },
            nullptr,
        };
        // Owned by the application object, like every other long-lived Qt object.
        instance = new NowPlayingService(std::move(environment), QCoreApplication::instance());
        instance->attachLyrics(LyricsService::shared());
    }
    return *instance;
}

void NowPlayingService::attachLyrics(LyricsService& lyrics) {
    // Either may be destroyed first when the application object takes its children down.
    env_.lyricsUpdate =
        [target = QPointer<LyricsService>(&lyrics)](const std::optional<NowPlayingInfo>& info) {
            if (target) {
                target->update(info);
            }
        };
    lyrics.setCurrentInfoSource([this] { return info_; });
    connect(this, &NowPlayingService::infoChanged, &lyrics, &LyricsService::currentInfoChanged);
    connect(this, &QObject::destroyed, &lyrics,
            [&lyrics] { lyrics.setCurrentInfoSource(nullptr); });
}

// Lifecycle --------------------------------------------------------------------------------------

void NowPlayingService::start() {
    env_.natives->onChange = [this](const NativePlayerState& state) { nativeChanged(state); };
    env_.natives->onQuit = [this](const std::string& bundleID) { nativeQuit(bundleID); };
    env_.natives->start();
    startHelper();
}

void NowPlayingService::startHelper() {
    if (process_) {
        return;
    }
    restart_.cancel();
    if (!env_.launcher->isBundled()) {
        setStatus(Status::unavailable(notBundledText));
        return;
    }
    const std::uint64_t launch = ++launch_;
    HelperLauncher::Events events{
        [this, launch](const QByteArray& bytes) {
            if (launch == launch_ && process_) {
                consume(bytes);
            }
        },
        [this, launch](std::optional<int> exitStatus) { helperExited(launch, exitStatus); },
        [this, launch](const QString& error) { helperFailed(launch, error); },
    };
    // A line cut off by the previous helper's end would spoil the new helper's first one.
    buffer_.clear();
    process_ = env_.launcher->launch(std::move(events));
    inputOpen_ = true;
    isStopping_ = false;
}

void NowPlayingService::stop() {
    env_.natives->stop();
    isStopping_ = true;
    // A restart that is still waiting would bring the helper back after the stop.
    restart_.cancel();
    inputOpen_ = false;
    if (process_) {
        process_->closeInput();
        process_->terminate();
        ending_[launch_] = std::move(process_);
    }
}

// The end of a helper that was already told to go only completes a stop.
bool NowPlayingService::finishEnding(std::uint64_t launch) {
    const auto ending = ending_.find(launch);
    if (ending == ending_.end()) {
        return false;
    }
    exited_ = std::move(ending->second);
    ending_.erase(ending);
    if (isStopping_) {
        setStatus(Status::stopped());
    }
    return true;
}

void NowPlayingService::helperExited(std::uint64_t launch, std::optional<int> exitStatus) {
    if (finishEnding(launch) || launch != launch_ || !process_) {
        return;
    }
    exited_ = std::move(process_);
    inputOpen_ = false;
    buffer_.clear();
    if (isStopping_) {
        setStatus(Status::stopped());
        return;
    }
    if (exitStatus == 2) {
        setStatus(Status::unavailable(noBusText));
        return;
    }
    const Clock::TimePoint now = env_.clock.now();
    std::erase_if(restartTimes_, [&](Clock::TimePoint time) { return now - time >= crashWindow; });
    restartTimes_.insert(restartTimes_.begin(), now);
    if (restartTimes_.size() > crashLimit) {
        setStatus(Status::unavailable(crashingText));
        return;
    }
    restart_ = env_.clock.schedule(restartDelay, [this] { startHelper(); });
}

void NowPlayingService::helperFailed(std::uint64_t launch, const QString& error) {
    if (finishEnding(launch) || launch != launch_ || !process_) {
        return;
    }
    exited_ = std::move(process_);
    inputOpen_ = false;
    setStatus(Status::unavailable(launchFailedText + error.toStdString()));
}

void NowPlayingService::write(const std::string& line) {
    if (process_ && inputOpen_) {
        process_->write(QByteArray::fromStdString(line + "\n"));
    }
}

// Reading the helper -----------------------------------------------------------------------------

void NowPlayingService::consume(const QByteArray& bytes) {
    buffer_.append(bytes);
    std::vector<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype end; (end = buffer_.indexOf('\n', start)) >= 0; start = end + 1) {
        if (end > start) {
            lines.push_back(buffer_.mid(start, end - start));
        }
    }
    buffer_.remove(0, start);
    if (buffer_.size() > lineLimit) {
        qCWarning(logApp()) << "Media helper line too long; dropped";
        buffer_.clear();
    }
    for (const QByteArray& line : lines) {
        if (const auto message =
                HelperMessage::decode(std::string_view(line.constData(), line.size()))) {
            handle(*message);
        }
    }
}

void NowPlayingService::handle(const HelperMessage& message) {
    if (message.type == "ready") {
        setStatus(Status::running());
    } else if (message.type == "error") {
        // An empty text would leave the media tab blank.
        setStatus(Status::unavailable(message.message && !message.message->empty()
                                          ? *message.message
                                          : std::string(helperErrorText)));
    } else if (message.type == "nowPlaying") {
        apply(message);
    }
}

void NowPlayingService::apply(const HelperMessage& message) {
    std::optional<NowPlayingInfo> next = message.info();
    const std::optional<NowPlayingInfo> old = remoteInfo_;
    const bool trackChanged = next && !next->isSameTrack(old);

    const std::optional<QByteArray> bytes =
        message.artwork ? base64(*message.artwork) : std::nullopt;
    if (bytes) {
        remoteArtwork_ = image(*bytes);
        computeTint(*bytes, [this, artworkID = message.artworkID](std::optional<QColor> tint) {
            const std::optional<std::string> current =
                remoteInfo_ ? remoteInfo_->artworkID : std::nullopt;
            if (current == artworkID) {
                remoteTint_ = tint;
                publish(true);
            }
        });
    } else if (!next || (trackChanged && !next->artworkID)) {
        remoteArtwork_.reset();
        remoteTint_.reset();
    }

    const bool changed =
        trackChanged || next.has_value() != old.has_value() ||
        (next && old &&
         (next->appBundleID != old->appBundleID || next->isPlaying != old->isPlaying));
    if (changed) {
        remoteChangedAt_ = env_.clock.date();
    }
    remoteInfo_ = std::move(next);
    publish(true);
}

void NowPlayingService::computeTint(QByteArray bytes,
                                    std::function<void(std::optional<QColor>)> done) {
    QPointer<NowPlayingService> self(this);
    env_.background->run([bytes = std::move(bytes), self, done = std::move(done)]() {
        const std::optional<QColor> tint = ArtworkTint::vividAverage(QImage::fromData(bytes));
        return BackgroundTasks::Finish([self, tint, done] {
            if (self) {
                done(tint);
            }
        });
    });
}

// Choosing what to show --------------------------------------------------------------------------

void NowPlayingService::publish(bool fetch) {
    std::optional<NowPlayingInfo> candidate;
    if (NativePlayerState::prefersNative(native_, remoteInfo_, remoteChangedAt_)) {
        const NativePlayerState& native = *native_;
        const bool sameNativeTrack =
            nativeSource_ == native.bundleID && info_ && info_->title == native.title;
        candidate = native.info();
        setNativeSource(native.bundleID);
        if (nativeArtwork_ && nativeArtwork_->title == native.title) {
            setArtwork(nativeArtwork_->image);
            setTint(nativeArtwork_->tint);
        } else {
            setArtwork(std::nullopt);
            setTint(std::nullopt);
        }
        if (fetch && (!sameNativeTrack || !native.position) &&
            native.bundleID == NativePlayers::musicBundleID) {
            fetchNativeDetailsIfNeeded();
        }
    } else {
        candidate = remoteInfo_;
        setNativeSource(std::nullopt);
        setArtwork(remoteArtwork_);
        setTint(remoteTint_);
    }
    if (appOf(candidate) != appOf(info_)) {
        updateApp(appOf(candidate));
    }
    if (env_.lyricsUpdate) {
        env_.lyricsUpdate(candidate);
    }
    if (candidate == info_) {
        return;
    }
    const bool trackChanged = candidate && !candidate->isSameTrack(info_);
    setInfo(candidate);
    if (onChange) {
        onChange(candidate, trackChanged);
    }
}

void NowPlayingService::updateApp(const std::optional<std::string>& bundleID) {
    std::optional<DesktopEntry> entry;
    if (bundleID && env_.findApp) {
        entry = env_.findApp(*bundleID);
    }
    std::optional<QString> icon;
    std::optional<QString> name;
    if (entry) {
        if (!entry->icon.empty()) {
            icon = QString::fromStdString(entry->icon);
        }
        name = QString::fromStdString(entry->name.empty() ? entry->id : entry->name);
    }
    if (icon != appIcon_) {
        appIcon_ = std::move(icon);
        emit appIconChanged();
    }
    if (name != appName_) {
        appName_ = std::move(name);
        emit appNameChanged();
    }
}

// Native players ---------------------------------------------------------------------------------

void NowPlayingService::nativeChanged(NativePlayerState state) {
    if (!state.position && native_ && native_->bundleID == state.bundleID &&
        native_->title == state.title) {
        state.position = native_->info().position(state.positionDate);
    }
    if (state.state == NativePlayerState::PlayerState::stopped) {
        native_.reset();
    } else {
        native_ = std::move(state);
    }
    write("refresh");
    publish(true);
}

void NowPlayingService::nativeQuit(const std::string& bundleID) {
    if (native_ && native_->bundleID == bundleID) {
        native_.reset();
        publish(true);
    }
}

void NowPlayingService::fetchNativeDetailsIfNeeded() {
    QPointer<NowPlayingService> self(this);
    env_.natives->fetchMusicDetails(
        [self, title = native_->title](std::optional<double> position,
                                       std::optional<QByteArray> artwork) {
            if (self) {
                self->nativeDetails(title, position, std::move(artwork));
            }
        });
}

void NowPlayingService::nativeDetails(const std::string& title, std::optional<double> position,
                                      std::optional<QByteArray> artwork) {
    if (!native_ || native_->title != title) {
        return;
    }
    if (position) {
        native_->position = position;
        native_->positionDate = env_.clock.date();
    }
    if (artwork) {
        if (std::optional<QImage> decoded = image(*artwork)) {
            nativeArtwork_ = NativeArtwork{title, std::move(*decoded), std::nullopt};
            computeTint(*artwork, [this, title](std::optional<QColor> tint) {
                if (nativeArtwork_ && nativeArtwork_->title == title) {
                    nativeArtwork_->tint = tint;
                    // Without fetching: a new query would only bring the same artwork again.
                    publish(false);
                }
            });
        }
    }
    publish(false);
}

// Commands ---------------------------------------------------------------------------------------

void NowPlayingService::send(MediaCommand command) {
    if (nativeSource_) {
        env_.natives->send(command, *nativeSource_);
    } else {
        write(std::string(word(command)));
    }
    if (!info_ || command == MediaCommand::next || command == MediaCommand::previous) {
        return;
    }
    NowPlayingInfo projected = *info_;
    const Clock::Date now = env_.clock.date();
    if (const std::optional<double> position = projected.position(now)) {
        projected.elapsed = position;
    }
    projected.timestamp = now;
    projected.isPlaying = command == MediaCommand::play    ? true
                          : command == MediaCommand::pause ? false
                                                           : !projected.isPlaying;
    setInfo(std::move(projected));
}

void NowPlayingService::sendCommand(const QString& text) {
    for (const MediaCommand command :
         {MediaCommand::play, MediaCommand::pause, MediaCommand::toggle, MediaCommand::next,
          MediaCommand::previous}) {
        if (text.toStdString() == word(command)) {
            send(command);
            return;
        }
    }
}

void NowPlayingService::seek(double seconds) {
    if (!std::isfinite(seconds)) {
        return;
    }
    // Before the start is the start; kept as asked, the projected position would lag behind.
    const double position = std::max(seconds, 0.0);
    if (nativeSource_) {
        env_.natives->seek(position, *nativeSource_);
    } else {
        write("seek " + decimal(position));
    }
    if (info_) {
        NowPlayingInfo moved = *info_;
        moved.elapsed = position;
        moved.timestamp = env_.clock.date();
        setInfo(std::move(moved));
    }
}

// Observable state -------------------------------------------------------------------------------

QString NowPlayingService::statusName() const {
    switch (status_.kind) {
    case Status::Kind::unavailable:
        return QStringLiteral("unavailable");
    case Status::Kind::stopped:
        return QStringLiteral("stopped");
    case Status::Kind::running:
        return QStringLiteral("running");
    }
    return {};
}

QVariantMap NowPlayingService::infoMap() const {
    if (!info_) {
        return {};
    }
    const auto optionalText = [](const std::optional<std::string>& text) {
        return text ? QVariant(QString::fromStdString(*text)) : QVariant();
    };
    const auto optionalNumber = [](const std::optional<double>& number) {
        return number ? QVariant(*number) : QVariant();
    };
    QVariantMap map;
    map.insert(QStringLiteral("title"), QString::fromStdString(info_->title));
    map.insert(QStringLiteral("artist"), optionalText(info_->artist));
    map.insert(QStringLiteral("album"), optionalText(info_->album));
    map.insert(QStringLiteral("duration"), optionalNumber(info_->duration));
    map.insert(QStringLiteral("elapsed"), optionalNumber(info_->elapsed));
    map.insert(QStringLiteral("timestamp"),
               info_->timestamp ? QVariant(static_cast<double>(
                                      std::chrono::duration_cast<std::chrono::milliseconds>(
                                          info_->timestamp->time_since_epoch())
                                          .count()))
                                : QVariant());
    map.insert(QStringLiteral("rate"), info_->rate);
    map.insert(QStringLiteral("isPlaying"), info_->isPlaying);
    map.insert(QStringLiteral("appBundleID"), optionalText(info_->appBundleID));
    map.insert(QStringLiteral("artworkID"), optionalText(info_->artworkID));
    return map;
}

QVariant NowPlayingService::currentPosition() const {
    const std::optional<double> position =
        info_ ? info_->position(env_.clock.date()) : std::nullopt;
    return position ? QVariant(*position) : QVariant();
}

void NowPlayingService::setStatus(Status status) {
    if (status == status_) {
        return;
    }
    status_ = std::move(status);
    emit statusChanged();
}

void NowPlayingService::setInfo(std::optional<NowPlayingInfo> info) {
    if (info == info_) {
        return;
    }
    info_ = std::move(info);
    emit infoChanged();
}

void NowPlayingService::setArtwork(std::optional<QImage> artwork) {
    // Copies of one decoded image share its key: no pixel comparison on every update.
    const auto key = [](const std::optional<QImage>& image) {
        return image ? std::optional<qint64>(image->cacheKey()) : std::nullopt;
    };
    if (key(artwork) == key(artwork_)) {
        return;
    }
    artwork_ = std::move(artwork);
    emit artworkChanged();
}

void NowPlayingService::setTint(std::optional<QColor> tint) {
    if (tint == tint_) {
        return;
    }
    tint_ = tint;
    emit tintChanged();
}

void NowPlayingService::setNativeSource(std::optional<std::string> source) {
    if (source == nativeSource_) {
        return;
    }
    nativeSource_ = std::move(source);
    emit nativeSourceChanged();
}

} // namespace orlet
