#pragma once

#include "Media/NativePlayers.h"
#include "Platform/Clock.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <memory>
#include <vector>

class QDBusMessage;
class QDBusServiceWatcher;
class QNetworkAccessManager;

namespace orlet {

// Rhythmbox and Spotify over their MPRIS names: every player property change that concerns the
// state or the track becomes a state; the name losing its owner is the player quitting;
// commands are MPRIS method calls. Every bus call is asynchronous.
class MprisNativePlayers : public QObject, public NativePlayers {
    Q_OBJECT

public:
    struct Player {
        QString busName;
        std::string bundleID;
    };
    // Rhythmbox first, then Spotify.
    static const std::vector<Player>& watched();

    MprisNativePlayers(QDBusConnection bus, Clock& clock, QObject* parent = nullptr);
    ~MprisNativePlayers() override;

    void start() override;
    void stop() override;
    void send(MediaCommand command, const std::string& bundleID) override;
    void seek(double seconds, const std::string& bundleID) override;
    void fetchMusicDetails(DetailsCompletion completion) override;

    // A D-Bus value with nested containers turned into plain Qt values: maps, lists, strings
    // for object paths.
    static QVariant plain(const QVariant& value);

    static constexpr std::chrono::seconds artworkTimeout{3};
    static constexpr qint64 artworkLimit = 16 * 1024 * 1024;

private slots:
    void propertiesChanged(const QDBusMessage& message);
    void seeked(const QDBusMessage& message);

private:
    struct Watch {
        Player player;
        QString owner;          // unique name of the current owner; empty while none
        QVariantMap properties; // merged org.mpris.MediaPlayer2.Player properties
        quint64 generation = 0; // answers for an older owner are dropped
    };

    Watch* byOwner(const QString& owner);
    Watch* byBundleID(const std::string& bundleID);
    void ownerChanged(const QString& name, const QString& newOwner);
    void appeared(Watch& watch, const QString& owner);
    void fetchAll(Watch& watch);
    void report(const Watch& watch, std::optional<qlonglong> position);
    void call(const Watch& watch, const QString& method, const QVariantList& arguments = {});
    void getPosition(const Watch& watch, std::function<void(std::optional<qlonglong>)> done);
    void loadArtwork(const QString& url, std::function<void(std::optional<QByteArray>)> done);
    void later(std::function<void()> action);

    QDBusConnection bus_;
    Clock& clock_;
    std::vector<Watch> watches_;
    bool started_ = false;
    bool warnedNoBus_ = false;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    std::unique_ptr<QNetworkAccessManager> network_;
};

} // namespace orlet
