#pragma once

#include "Media/BackgroundTasks.h"
#include "Media/HelperLauncher.h"
#include "Media/MediaCommand.h"
#include "Media/NativePlayerState.h"
#include "Media/NativePlayers.h"
#include "Media/NowPlayingInfo.h"
#include "Platform/Clock.h"
#include "Platform/DesktopEntries.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orlet {

class LyricsService;

struct HelperMessage;

// The one source of what is playing: reads the media helper's lines, follows the native
// players, prefers one of the two, and adds artwork, tint and the playing application.
class NowPlayingService : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString status READ statusName NOTIFY statusChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY statusChanged)
    Q_PROPERTY(QVariantMap info READ infoMap NOTIFY infoChanged)
    Q_PROPERTY(QImage artwork READ artworkImage NOTIFY artworkChanged)
    Q_PROPERTY(QColor tint READ tintColor NOTIFY tintChanged)
    Q_PROPERTY(QString appIcon READ appIconName NOTIFY appIconChanged)
    Q_PROPERTY(QString appName READ appNameText NOTIFY appNameChanged)
    Q_PROPERTY(QString nativeSource READ nativeSourceText NOTIFY nativeSourceChanged)

public:
    struct Status {
        enum class Kind { unavailable, stopped, running };
        Kind kind = Kind::stopped;
        std::string text; // what the media tab shows while unavailable

        static Status unavailable(std::string text) { return {Kind::unavailable, std::move(text)}; }
        static Status stopped() { return {Kind::stopped, {}}; }
        static Status running() { return {Kind::running, {}}; }
        bool operator==(const Status&) const = default;
    };

    // The user-facing texts of the helper's failures.
    static constexpr const char* notBundledText = "Helper not bundled (run via make run)";
    static constexpr const char* launchFailedText = "Could not start helper: ";
    static constexpr const char* helperErrorText = "Helper error";
    static constexpr const char* noBusText =
        "Media information is not accessible: no D-Bus session bus";
    static constexpr const char* crashingText = "Helper keeps crashing";

    static constexpr std::chrono::seconds restartDelay{1};
    static constexpr std::chrono::seconds crashWindow{60};
    static constexpr std::size_t crashLimit = 5;
    // A helper that writes this much without a line feed is not speaking the protocol.
    static constexpr qsizetype lineLimit = 32 * 1024 * 1024;

    struct Environment {
        Clock& clock;
        std::unique_ptr<HelperLauncher> launcher;
        std::unique_ptr<NativePlayers> natives;
        std::unique_ptr<BackgroundTasks> background;
        // The desktop entry of an application, by desktop id.
        std::function<std::optional<DesktopEntry>(const std::string& desktopId)> findApp;
        // Told what is shown on every publish (the lyrics follow it).
        std::function<void(const std::optional<NowPlayingInfo>&)> lyricsUpdate;
    };

    explicit NowPlayingService(Environment environment, QObject* parent = nullptr);
    ~NowPlayingService() override;

    // Created on first use with the real helper, the session bus and the installed
    // applications; lives as long as the application object.
    static NowPlayingService& shared();

    // Lets `lyrics` follow what is shown: every publish updates it, and its notch line knows
    // whether the shown track plays. The two must live equally long.
    void attachLyrics(LyricsService& lyrics);

    void start();
    void stop();
    void send(MediaCommand command);
    void seek(double seconds);
    // One line to the helper; nothing while no helper runs.
    void write(const std::string& line);

    // For the views.
    Q_INVOKABLE void sendCommand(const QString& word);
    Q_INVOKABLE void seekTo(double seconds) { seek(seconds); }
    Q_INVOKABLE void refresh() { write("refresh"); }
    // The position now, or undefined.
    Q_INVOKABLE QVariant currentPosition() const;

    const Status& status() const { return status_; }
    const std::optional<NowPlayingInfo>& info() const { return info_; }
    const std::optional<QImage>& artwork() const { return artwork_; }
    const std::optional<QColor>& tint() const { return tint_; }
    const std::optional<QString>& appIcon() const { return appIcon_; }
    const std::optional<QString>& appName() const { return appName_; }
    const std::optional<std::string>& nativeSource() const { return nativeSource_; }

    QString statusName() const;
    QString statusText() const { return QString::fromStdString(status_.text); }
    QVariantMap infoMap() const;
    QImage artworkImage() const { return artwork_.value_or(QImage()); }
    QColor tintColor() const { return tint_.value_or(QColor()); }
    QString appIconName() const { return appIcon_.value_or(QString()); }
    QString appNameText() const { return appName_.value_or(QString()); }
    QString nativeSourceText() const { return QString::fromStdString(nativeSource_.value_or("")); }

    // After every published change of `info`: the new info, and whether the track changed.
    std::function<void(const std::optional<NowPlayingInfo>&, bool trackChanged)> onChange;

    // Bytes from the helper's standard output, in pieces as they came.
    void consume(const QByteArray& bytes);

signals:
    void statusChanged();
    void infoChanged();
    void artworkChanged();
    void tintChanged();
    void appIconChanged();
    void appNameChanged();
    void nativeSourceChanged();

private:
    struct NativeArtwork {
        std::string title;
        QImage image;
        std::optional<QColor> tint;
    };

    void startHelper();
    void handle(const HelperMessage& message);
    void apply(const HelperMessage& message);
    void publish(bool fetch);
    void nativeChanged(NativePlayerState state);
    void nativeQuit(const std::string& bundleID);
    void fetchNativeDetailsIfNeeded();
    void nativeDetails(const std::string& title, std::optional<double> position,
                       std::optional<QByteArray> artwork);
    void updateApp(const std::optional<std::string>& bundleID);
    bool finishEnding(std::uint64_t launch);
    void helperExited(std::uint64_t launch, std::optional<int> exitStatus);
    void helperFailed(std::uint64_t launch, const QString& error);
    void computeTint(QByteArray bytes, std::function<void(std::optional<QColor>)> done);

    void setStatus(Status status);
    void setInfo(std::optional<NowPlayingInfo> info);
    void setArtwork(std::optional<QImage> artwork);
    void setTint(std::optional<QColor> tint);
    void setNativeSource(std::optional<std::string> source);

    Environment env_;
    Status status_;
    std::optional<NowPlayingInfo> info_;
    std::optional<QImage> artwork_;
    std::optional<QColor> tint_;
    std::optional<QString> appIcon_;
    std::optional<QString> appName_;
    std::optional<std::string> nativeSource_;

    std::unique_ptr<HelperProcess> process_;
    std::uint64_t launch_ = 0; // numbers each launch, so reports of earlier ones are told apart
    bool inputOpen_ = false;
    // Helpers asked to end, until their exit arrives.
    std::map<std::uint64_t, std::unique_ptr<HelperProcess>> ending_;
    // The last helper that exited: its handle may not die inside its own exit report.
    std::unique_ptr<HelperProcess> exited_;
    QByteArray buffer_;
    std::vector<Clock::TimePoint> restartTimes_;
    bool isStopping_ = false;
    DelayedJob restart_;

    std::optional<NowPlayingInfo> remoteInfo_;
    std::optional<QImage> remoteArtwork_;
    std::optional<QColor> remoteTint_;
    Clock::Date remoteChangedAt_ = Clock::Date::min();
    std::optional<NativePlayerState> native_;
    std::optional<NativeArtwork> nativeArtwork_;
};

} // namespace orlet
