#include "OrletMedia/MprisSource.h"

#include "Platform/ProcessInfo.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>

namespace orlet {
namespace {

const QString playerPrefix = QStringLiteral("org.mpris.MediaPlayer2.");
const QString objectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString rootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString noTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

QVariant plain(const QVariant& value);

QVariantMap mapOf(const QVariant& value) {
    QVariantMap map;
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const auto argument = value.value<QDBusArgument>();
        if (argument.currentType() != QDBusArgument::MapType) {
            return {};
        }
        argument >> map;
    } else {
        map = value.toMap();
    }
    for (QVariant& entry : map) {
        entry = plain(entry);
    }
    return map;
}

// Nested containers arrive as QDBusArgument; maps and lists are read out so that values can be
// compared and typed later. Anything else stays as D-Bus gave it.
QVariant plain(const QVariant& value) {
    if (value.metaType() != QMetaType::fromType<QDBusArgument>()) {
        return value;
    }
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentType() == QDBusArgument::MapType) {
        return mapOf(value);
    }
    if (argument.currentType() == QDBusArgument::ArrayType) {
        QVariantList list;
        argument.beginArray();
        while (!argument.atEnd()) {
            list.append(plain(argument.asVariant()));
        }
        argument.endArray();
        return list;
    }
    return value;
}

std::optional<std::string> stringOf(const QVariant& value) {
    if (value.metaType() != QMetaType::fromType<QString>()) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

std::optional<double> numberOf(const QVariant& value) {
    switch (value.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar: {
        const double number = value.toDouble();
        return std::isfinite(number) ? std::optional(number) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

// A position in microseconds; doubles out of range are no position at all.
std::optional<qint64> microsecondsOf(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<qlonglong>()) {
        return value.toLongLong();
    }
    const std::optional<double> number = numberOf(value);
    if (!number || std::abs(*number) >= 9.2e18) {
        return std::nullopt;
    }
    return static_cast<qint64>(*number);
}

// xesam:artist is a list of names; a player that sends one string is taken at its word.
std::optional<std::string> artistOf(const QVariant& value) {
    QStringList names;
    if (value.metaType() == QMetaType::fromType<QStringList>()) {
        names = value.toStringList();
    } else if (value.metaType() == QMetaType::fromType<QVariantList>()) {
        for (const QVariant& name : value.toList()) {
            if (name.metaType() == QMetaType::fromType<QString>()) {
                names.append(name.toString());
            }
        }
    } else if (value.metaType() == QMetaType::fromType<QString>()) {
        names.append(value.toString());
    }
    names.removeAll(QString());
    if (names.isEmpty()) {
        return std::nullopt;
    }
    return names.join(QStringLiteral(", ")).toStdString();
}

QString trackIdOf(const QVariantMap& metadata) {
    const QVariant value = metadata.value(QStringLiteral("mpris:trackid"));
    QString path = value.metaType() == QMetaType::fromType<QDBusObjectPath>()
                       ? value.value<QDBusObjectPath>().path()
                   : value.metaType() == QMetaType::fromType<QString>() ? value.toString()
                                                                        : QString();
    return path == noTrack ? QString() : path;
}

std::optional<std::string> desktopIdOf(const QVariant& value) {
    QString id = value.metaType() == QMetaType::fromType<QString>() ? value.toString() : QString();
    if (id.endsWith(QLatin1String(".desktop"))) {
        id.chop(8);
    }
    return id.isEmpty() ? std::nullopt : std::optional(id.toStdString());
}

QDBusMessage playerCall(const QString& name, const QString& interface, const QString& method) {
    return QDBusMessage::createMethodCall(name, objectPath, interface, method);
}

QDBusMessage busCall(const QString& method) {
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                          QStringLiteral("/org/freedesktop/DBus"),
                                          QStringLiteral("org.freedesktop.DBus"), method);
}

qint64 microseconds(double seconds) {
    const double value = std::round(seconds * 1e6);
    if (!(value > 0)) {
        return 0;
    }
    // The largest double below 2^63 keeps the conversion defined.
    if (value >= 9.2e18) {
        return std::numeric_limits<qint64>::max();
    }
    return static_cast<qint64>(value);
}

} // namespace

MprisSource::MprisSource(QDBusConnection bus, Clock& clock, const ProcessInfo& processes,
                         QObject* parent)
    : QObject(parent), bus_(std::move(bus)), clock_(clock), processes_(processes),
      artworks_(clock) {
    artworks_.onFetched = [this] { notify(Change::player); };
}

MprisSource::~MprisSource() = default;

void MprisSource::start(std::function<void()> started) {
    // Every name change on the bus comes through here; only players' names are kept.
    bus_.connect(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                 QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameOwnerChanged"), this,
                 SLOT(nameOwnerChanged(QString, QString, QString)));
    bus_.connect(QString(), objectPath, propertiesInterface, QStringLiteral("PropertiesChanged"),
                 this, SLOT(propertiesChanged(QDBusMessage)));
    bus_.connect(QString(), objectPath, playerInterface, QStringLiteral("Seeked"), this,
                 SLOT(seeked(QDBusMessage)));

    call(busCall(QStringLiteral("ListNames")), [this, started](const QDBusMessage& reply) {
        QStringList names;
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            for (const QString& name : reply.arguments().constFirst().toStringList()) {
                if (name.startsWith(playerPrefix)) {
                    names.append(name);
                }
            }
        }
        auto remaining = std::make_shared<qsizetype>(names.size() + 1);
        auto countDown = [this, remaining, started] {
            if (--*remaining == 0) {
                started_ = true;
                started();
            }
        };
        for (const QString& name : names) {
            QDBusMessage ask = busCall(QStringLiteral("GetNameOwner"));
            ask << name;
            call(ask, [this, name, countDown](const QDBusMessage& owner) {
                if (owner.type() != QDBusMessage::ReplyMessage || owner.arguments().isEmpty()) {
                    countDown();
                    return;
                }
                add(name, owner.arguments().constFirst().toString(), countDown);
            });
        }
        countDown();
    });
}

void MprisSource::nameOwnerChanged(const QString& name, const QString& oldOwner,
                                   const QString& newOwner) {
    if (!name.startsWith(playerPrefix)) {
        return;
    }
    if (!oldOwner.isEmpty()) {
        remove(name);
        if (newOwner.isEmpty()) {
            notify(Change::vanished);
        }
    }
    if (!newOwner.isEmpty()) {
        add(name, newOwner, [this] { notify(Change::player); });
    }
}

void MprisSource::add(const QString& name, const QString& owner, std::function<void()> loaded) {
    Player& player = players_[name];
    player.owner = owner;
    const int load = ++player.load;
    auto remaining = std::make_shared<int>(3);
    auto step = [this, name, load, remaining, loaded] {
        if (--*remaining != 0) {
            return;
        }
        const auto found = players_.find(name);
        if (found != players_.end() && found->second.load == load) {
            updateChooser(name);
        }
        loaded();
    };
    // Each answer is kept only while the player is still the one asked about.
    auto current = [this, name, load]() -> Player* {
        const auto found = players_.find(name);
        return found != players_.end() && found->second.load == load ? &found->second : nullptr;
    };

    QDBusMessage pid = busCall(QStringLiteral("GetConnectionUnixProcessID"));
    pid << owner;
    call(pid, [current, step](const QDBusMessage& reply) {
        if (Player* player = current(); player != nullptr &&
                                        reply.type() == QDBusMessage::ReplyMessage &&
                                        !reply.arguments().isEmpty()) {
            player->pid = static_cast<pid_t>(reply.arguments().constFirst().toUInt());
        }
        step();
    });
    for (const QString& interface : {rootInterface, playerInterface}) {
        QDBusMessage getAll = playerCall(name, propertiesInterface, QStringLiteral("GetAll"));
        getAll << interface;
        call(getAll, [current, step, interface](const QDBusMessage& reply) {
            if (Player* player = current(); player != nullptr &&
                                            reply.type() == QDBusMessage::ReplyMessage &&
                                            !reply.arguments().isEmpty()) {
                QVariantMap& target = interface == rootInterface ? player->root : player->player;
                target.insert(mapOf(reply.arguments().constFirst()));
            }
            step();
        });
    }
}

void MprisSource::remove(const QString& name) {
    players_.erase(name);
    chooser_.remove(name.toStdString());
}

void MprisSource::reloadPlayer(const QString& name) {
    const auto found = players_.find(name);
    if (found != players_.end()) {
        add(name, found->second.owner, [this] { notify(Change::player); });
    }
}

void MprisSource::propertiesChanged(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2) {
        return;
    }
    const QString interface = arguments.at(0).toString();
    if (interface != playerInterface && interface != rootInterface) {
        return;
    }
    const QVariantMap changed = mapOf(arguments.at(1));
    const bool invalidated = arguments.size() > 2 && !arguments.at(2).toStringList().isEmpty();
    const QStringList names = namesOwnedBy(message.service());
    for (const QString& name : names) {
        Player& player = players_[name];
        (interface == playerInterface ? player.player : player.root).insert(changed);
        updateChooser(name);
        // Invalidated values are not sent along; read them again.
        if (invalidated) {
            reloadPlayer(name);
        }
    }
    if (!names.isEmpty()) {
        notify(Change::player);
    }
}

void MprisSource::seeked(const QDBusMessage& message) {
    if (!namesOwnedBy(message.service()).isEmpty()) {
        notify(Change::player);
    }
}

void MprisSource::updateChooser(const QString& name) {
    const auto found = players_.find(name);
    if (found == players_.end()) {
        return;
    }
    const QVariantMap& properties = found->second.player;
    const QVariantMap metadata = properties.value(QStringLiteral("Metadata")).toMap();
    QString track = trackIdOf(metadata);
    if (track.isEmpty()) {
        track = metadata.value(QStringLiteral("xesam:title")).toString();
    }
    chooser_.update(
        name.toStdString(),
        PlayerChooser::statusOf(
            properties.value(QStringLiteral("PlaybackStatus")).toString().toStdString()),
        track.toStdString());
}

void MprisSource::query(std::function<void(std::optional<NowPlayingSnapshot>)> answer) {
    ask(0, std::move(answer));
}

void MprisSource::ask(int depth, std::function<void(std::optional<NowPlayingSnapshot>)> answer) {
    const std::optional<std::string> chosen = chooser_.current();
    if (!chosen) {
        answer(std::nullopt);
        return;
    }
    const QString name = QString::fromStdString(*chosen);
    QDBusMessage getAll = playerCall(name, propertiesInterface, QStringLiteral("GetAll"));
    getAll << playerInterface;
    call(getAll, [this, name, depth, answer](const QDBusMessage& reply) {
        const auto found = players_.find(name);
        std::optional<qint64> position;
        if (found != players_.end() && reply.type() == QDBusMessage::ReplyMessage &&
            !reply.arguments().isEmpty()) {
            const QVariantMap properties = mapOf(reply.arguments().constFirst());
            found->second.player.insert(properties);
            position = microsecondsOf(properties.value(QStringLiteral("Position")));
            updateChooser(name);
        }
        // The fresh state may have changed the choice (a player that stopped unseen, or left).
        if (found == players_.end() || chooser_.current() != name.toStdString()) {
            if (depth < 2) {
                ask(depth + 1, answer);
            } else {
                answer(std::nullopt);
            }
            return;
        }
        answer(snapshotOf(found->second, position));
    });
}

NowPlayingSnapshot MprisSource::snapshotOf(const Player& player, std::optional<qint64> position) {
    const QVariantMap metadata = player.player.value(QStringLiteral("Metadata")).toMap();
    NowPlayingSnapshot snapshot;
    snapshot.title = stringOf(metadata.value(QStringLiteral("xesam:title")));
    snapshot.artist = artistOf(metadata.value(QStringLiteral("xesam:artist")));
    snapshot.album = stringOf(metadata.value(QStringLiteral("xesam:album")));
    if (const auto length = numberOf(metadata.value(QStringLiteral("mpris:length")));
        length && *length > 0) {
        snapshot.duration = *length / 1e6;
    }
    if (position) {
        snapshot.elapsed = static_cast<double>(*position) / 1e6;
        snapshot.timestamp =
            std::chrono::duration<double>(clock_.date().time_since_epoch()).count();
    }
    const auto rate = player.player.find(QStringLiteral("Rate"));
    snapshot.rate = rate == player.player.end() ? std::optional(1.0) : numberOf(*rate);
    snapshot.playing = player.player.value(QStringLiteral("PlaybackStatus")).toString() ==
                       QLatin1String("Playing");
    const std::optional<std::string> desktopId =
        desktopIdOf(player.root.value(QStringLiteral("DesktopEntry")));
    const std::optional<std::string> processId =
        player.pid > 0 ? processes_.applicationId(player.pid) : std::nullopt;
    snapshot.bundleID = desktopId ? desktopId : processId;
    // A player hosted by another application (a browser's integration host, say) runs in that
    // application's unit while naming its own desktop entry.
    if (desktopId && processId && *desktopId != *processId) {
        snapshot.parentBundleID = processId;
    }
    if (const auto url = stringOf(metadata.value(QStringLiteral("mpris:artUrl")));
        url && !url->empty()) {
        snapshot.artwork = artworks_.lookup(QString::fromStdString(*url));
    }
    snapshot.pid = player.pid;
    return snapshot;
}

void MprisSource::send(const HelperCommand& command, std::function<void()> done) {
    const std::optional<std::string> chosen = chooser_.current();
    if (!chosen) {
        done();
        return;
    }
    const QString name = QString::fromStdString(*chosen);
    QString method;
    switch (command.kind) {
    case HelperCommand::Kind::play:
        method = QStringLiteral("Play");
        break;
    case HelperCommand::Kind::pause:
        method = QStringLiteral("Pause");
        break;
    case HelperCommand::Kind::toggle:
        method = QStringLiteral("PlayPause");
        break;
    case HelperCommand::Kind::next:
        method = QStringLiteral("Next");
        break;
    case HelperCommand::Kind::previous:
        method = QStringLiteral("Previous");
        break;
    case HelperCommand::Kind::seek:
        seek(name, command.seconds, std::move(done));
        return;
    case HelperCommand::Kind::refresh:
        done();
        return;
    }
    call(playerCall(name, playerInterface, method), [done](const QDBusMessage&) { done(); });
}

void MprisSource::seek(const QString& name, double seconds, std::function<void()> done) {
    const qint64 target = microseconds(seconds);
    const auto found = players_.find(name);
    const QString track =
        found == players_.end()
            ? QString()
            : trackIdOf(found->second.player.value(QStringLiteral("Metadata")).toMap());
    if (!track.isEmpty()) {
        QDBusMessage setPosition = playerCall(name, playerInterface, QStringLiteral("SetPosition"));
        setPosition << QVariant::fromValue(QDBusObjectPath(track)) << target;
        call(setPosition, [done](const QDBusMessage&) { done(); });
        return;
    }
    // Without a track id only a relative jump is possible: from the position right now.
    QDBusMessage get = playerCall(name, propertiesInterface, QStringLiteral("Get"));
    get << playerInterface << QStringLiteral("Position");
    call(get, [this, name, target, done](const QDBusMessage& reply) {
        std::optional<qint64> position;
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            position =
                microsecondsOf(reply.arguments().constFirst().value<QDBusVariant>().variant());
        }
        if (!position) {
            done();
            return;
        }
        QDBusMessage seekBy = playerCall(name, playerInterface, QStringLiteral("Seek"));
        // Both lie in [-2^63, 2^63), so the difference fits once it is clamped.
        const double offset = std::clamp(
            static_cast<double>(target) - static_cast<double>(*position), -9.2e18, 9.2e18);
        seekBy << static_cast<qint64>(offset);
        call(seekBy, [done](const QDBusMessage&) { done(); });
    });
}

void MprisSource::call(const QDBusMessage& message,
                       std::function<void(const QDBusMessage&)> reply) {
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, reply = std::move(reply)] {
        watcher->deleteLater();
        reply(watcher->reply());
    });
}

QStringList MprisSource::namesOwnedBy(const QString& owner) const {
    QStringList names;
    for (const auto& [name, player] : players_) {
        if (player.owner == owner) {
            names.append(name);
        }
    }
    return names;
}

void MprisSource::notify(Change change) {
    if (onChange) {
        onChange(change);
    }
}

} // namespace orlet
