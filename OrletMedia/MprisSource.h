#pragma once

#include "OrletMedia/ArtworkStore.h"
#include "OrletMedia/NowPlayingSource.h"
#include "OrletMedia/PlayerChooser.h"
#include "Platform/Clock.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <map>
#include <set>

class QDBusMessage;

namespace orlet {

class ProcessInfo;

// The now-playing state of the session's MPRIS players: every org.mpris.MediaPlayer2.* name,
// followed through NameOwnerChanged, PropertiesChanged and Seeked. Nothing is polled; the
// position, which MPRIS never signals, is read when a refresh asks for it.
class MprisSource : public QObject, public NowPlayingSource {
    Q_OBJECT
public:
    MprisSource(QDBusConnection bus, Clock& clock, const ProcessInfo& processes,
                QObject* parent = nullptr);
    ~MprisSource() override;

    void start(std::function<void()> started) override;
    void query(std::function<void(std::optional<NowPlayingSnapshot>)> answer) override;
    void send(const HelperCommand& command, std::function<void()> done) override;

private slots:
    void propertiesChanged(const QDBusMessage& message);
    void seeked(const QDBusMessage& message);
    void nameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

private:
    struct Player {
        QString owner;
        pid_t pid = 0;
        QVariantMap root;
        QVariantMap player;
        // Bumped on every (re)load, so answers to an older load are dropped.
        int load = 0;
    };

    void add(const QString& name, const QString& owner, std::function<void()> loaded);
    void remove(const QString& name);
    void reloadPlayer(const QString& name);
    void updateChooser(const QString& name);
    void ask(int depth, std::function<void(std::optional<NowPlayingSnapshot>)> answer);
    NowPlayingSnapshot snapshotOf(const Player& player, std::optional<qint64> position);
    void seek(const QString& name, double seconds, std::function<void()> done);
    void call(const QDBusMessage& message, std::function<void(const QDBusMessage&)> reply);
    QStringList namesOwnedBy(const QString& owner) const;
    void notify(Change change);

    QDBusConnection bus_;
    Clock& clock_;
    const ProcessInfo& processes_;
    ArtworkStore artworks_;
    std::map<QString, Player> players_;
    PlayerChooser chooser_;
    bool started_ = false;
};

} // namespace orlet
