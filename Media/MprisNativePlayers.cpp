#include "Media/MprisNativePlayers.h"

#include "Platform/Log.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThreadPool>
#include <QUrl>
#include <cmath>

namespace orlet {
namespace {

const QString objectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

QString method(MediaCommand command) {
    switch (command) {
    case MediaCommand::play:
        return QStringLiteral("Play");
    case MediaCommand::pause:
        return QStringLiteral("Pause");
    case MediaCommand::toggle:
        return QStringLiteral("PlayPause");
    case MediaCommand::next:
        return QStringLiteral("Next");
    case MediaCommand::previous:
        return QStringLiteral("Previous");
    }
    return {};
}

void logFailure(const QString& error) {
    qCWarning(logApp()).noquote() << "Media player call failed: " + error;
}

// Runs `done` with the reply once it arrives, on the thread of the connection's owner.
void whenAnswered(const QDBusPendingCall& pending, QObject* context,
                  std::function<void(const QDBusMessage&)> done) {
    auto* watcher = new QDBusPendingCallWatcher(pending, context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         done(finished->reply());
                     });
}

std::optional<qlonglong> microseconds(const QVariant& value) {
    const QVariant plain = MprisNativePlayers::plain(value);
    bool ok = false;
    const qlonglong result = plain.toLongLong(&ok);
    return ok ? std::optional<qlonglong>(result) : std::nullopt;
}

std::optional<QByteArray> nonEmpty(QByteArray bytes) {
    return bytes.isEmpty() ? std::nullopt : std::optional<QByteArray>(std::move(bytes));
}

std::optional<QByteArray> readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MprisNativePlayers::artworkLimit) {
        return std::nullopt;
    }
    return nonEmpty(file.read(MprisNativePlayers::artworkLimit));
}

// "data:[<type>][;base64],<data>"
std::optional<QByteArray> dataURL(const QString& url) {
    const qsizetype comma = url.indexOf(QLatin1Char(','));
    if (comma < 0) {
        return std::nullopt;
    }
    const QByteArray payload = url.mid(comma + 1).toLatin1();
    if (url.left(comma).endsWith(QLatin1String(";base64"), Qt::CaseInsensitive)) {
        auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromPercentEncoding(payload),
                                                      QByteArray::AbortOnBase64DecodingErrors);
        return decoded ? nonEmpty(*decoded) : std::nullopt;
    }
    return nonEmpty(QByteArray::fromPercentEncoding(payload));
}

} // namespace

const std::vector<MprisNativePlayers::Player>& MprisNativePlayers::watched() {
    static const std::vector<Player> players{
        {QStringLiteral("org.mpris.MediaPlayer2.rhythmbox"), musicBundleID},
        {QStringLiteral("org.mpris.MediaPlayer2.spotify"), spotifyBundleID},
    };
    return players;
}

MprisNativePlayers::MprisNativePlayers(QDBusConnection bus, Clock& clock, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), clock_(clock) {
    for (const Player& player : watched()) {
        watches_.push_back(Watch{player, {}, {}, 0});
    }
}

MprisNativePlayers::~MprisNativePlayers() {
    stop();
}

QVariant MprisNativePlayers::plain(const QVariant& value) {
    if (value.userType() == qMetaTypeId<QDBusVariant>()) {
        return plain(value.value<QDBusVariant>().variant());
    }
    if (value.userType() == qMetaTypeId<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    if (value.userType() == qMetaTypeId<QDBusSignature>()) {
        return value.value<QDBusSignature>().signature();
    }
    if (value.userType() == QMetaType::QVariantMap) {
        QVariantMap map = value.toMap();
        for (auto entry = map.begin(); entry != map.end(); ++entry) {
            entry.value() = plain(entry.value());
        }
        return map;
    }
    if (value.userType() != qMetaTypeId<QDBusArgument>()) {
        return value;
    }
    const QDBusArgument argument = value.value<QDBusArgument>();
    switch (argument.currentType()) {
    case QDBusArgument::MapType: {
        QVariantMap map;
        argument.beginMap();
        while (!argument.atEnd()) {
            argument.beginMapEntry();
            const QVariant key = plain(argument.asVariant());
            const QVariant item = plain(argument.asVariant());
            argument.endMapEntry();
            map.insert(key.toString(), item);
        }
        argument.endMap();
        return map;
    }
    case QDBusArgument::ArrayType: {
        QVariantList list;
        argument.beginArray();
        while (!argument.atEnd()) {
            list.append(plain(argument.asVariant()));
        }
        argument.endArray();
        return list;
    }
    case QDBusArgument::StructureType: {
        QVariantList fields;
        argument.beginStructure();
        while (!argument.atEnd()) {
            fields.append(plain(argument.asVariant()));
        }
        argument.endStructure();
        return fields;
    }
    default:
        return plain(argument.asVariant());
    }
}

// Watching ---------------------------------------------------------------------------------------

void MprisNativePlayers::start() {
    if (started_) {
        return;
    }
    if (!bus_.isConnected()) {
        if (!warnedNoBus_) {
            warnedNoBus_ = true;
            qCWarning(logApp()) << "Native players are not watched: no D-Bus session bus";
        }
        return;
    }
    started_ = true;
    watcher_ = std::make_unique<QDBusServiceWatcher>();
    watcher_->setConnection(bus_);
    watcher_->setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
    for (const Watch& watch : watches_) {
        watcher_->addWatchedService(watch.player.busName);
    }
    connect(watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString& name, const QString&, const QString& newOwner) {
                ownerChanged(name, newOwner);
            });
    // Any sender: the senders are matched against the owners here, so the bus never has to be
    // asked synchronously who owns a name.
    bus_.connect(QString(), objectPath, propertiesInterface, QStringLiteral("PropertiesChanged"),
                 this, SLOT(propertiesChanged(QDBusMessage)));
    bus_.connect(QString(), objectPath, playerInterface, QStringLiteral("Seeked"), this,
                 SLOT(seeked(QDBusMessage)));
    for (Watch& watch : watches_) {
        QDBusMessage ask = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
        ask << watch.player.busName;
        const QString name = watch.player.busName;
        whenAnswered(bus_.asyncCall(ask), this, [this, name](const QDBusMessage& reply) {
            if (started_ && reply.type() == QDBusMessage::ReplyMessage &&
                !reply.arguments().isEmpty()) {
                ownerChanged(name, reply.arguments().constFirst().toString());
            }
        });
    }
}

void MprisNativePlayers::stop() {
    if (!started_) {
        return;
    }
    started_ = false;
    watcher_.reset();
    bus_.disconnect(QString(), objectPath, propertiesInterface, QStringLiteral("PropertiesChanged"),
                    this, SLOT(propertiesChanged(QDBusMessage)));
    bus_.disconnect(QString(), objectPath, playerInterface, QStringLiteral("Seeked"), this,
                    SLOT(seeked(QDBusMessage)));
    for (Watch& watch : watches_) {
        watch.owner.clear();
        watch.properties.clear();
        ++watch.generation;
    }
}

MprisNativePlayers::Watch* MprisNativePlayers::byOwner(const QString& owner) {
    for (Watch& watch : watches_) {
        if (!watch.owner.isEmpty() && watch.owner == owner) {
            return &watch;
        }
    }
    return nullptr;
}

MprisNativePlayers::Watch* MprisNativePlayers::byBundleID(const std::string& bundleID) {
    for (Watch& watch : watches_) {
        if (watch.player.bundleID == bundleID) {
            return &watch;
        }
    }
    return nullptr;
}

void MprisNativePlayers::ownerChanged(const QString& name, const QString& newOwner) {
    for (Watch& watch : watches_) {
        if (watch.player.busName != name) {
            continue;
        }
        if (!newOwner.isEmpty()) {
            appeared(watch, newOwner);
        } else if (!watch.owner.isEmpty()) {
            watch.owner.clear();
            watch.properties.clear();
            ++watch.generation;
            if (onQuit) {
                onQuit(watch.player.bundleID);
            }
        }
    }
}

void MprisNativePlayers::appeared(Watch& watch, const QString& owner) {
    // The owner query and the watcher may both announce the same owner.
    if (watch.owner == owner) {
        return;
    }
    watch.owner = owner;
    watch.properties.clear();
    ++watch.generation;
    fetchAll(watch);
}

void MprisNativePlayers::fetchAll(Watch& watch) {
    QDBusMessage ask = QDBusMessage::createMethodCall(watch.owner, objectPath, propertiesInterface,
                                                      QStringLiteral("GetAll"));
    ask << playerInterface;
    const std::string bundleID = watch.player.bundleID;
    const quint64 generation = watch.generation;
    whenAnswered(
        bus_.asyncCall(ask), this, [this, bundleID, generation](const QDBusMessage& reply) {
            Watch* current = byBundleID(bundleID);
            if (!current || current->generation != generation) {
                return;
            }
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                logFailure(reply.errorMessage());
                return;
            }
            QVariantMap properties = plain(reply.arguments().constFirst()).toMap();
            // Measured for this answer only; kept, it would go stale.
            const std::optional<qlonglong> position =
                properties.contains(QStringLiteral("Position"))
                    ? microseconds(properties.take(QStringLiteral("Position")))
                    : std::nullopt;
            current->properties = std::move(properties);
            report(*current, position);
        });
}

void MprisNativePlayers::propertiesChanged(const QDBusMessage& message) {
    Watch* watch = byOwner(message.service());
    const QVariantList arguments = message.arguments();
    if (!watch || arguments.size() < 2 || arguments.at(0).toString() != playerInterface) {
        return;
    }
    QVariantMap changed = plain(arguments.at(1)).toMap();
    const QStringList invalidated =
        arguments.size() > 2 ? plain(arguments.at(2)).toStringList() : QStringList();
    const std::optional<qlonglong> position =
        changed.contains(QStringLiteral("Position"))
            ? microseconds(changed.take(QStringLiteral("Position")))
            : std::nullopt;
    for (auto entry = changed.cbegin(); entry != changed.cend(); ++entry) {
        watch->properties.insert(entry.key(), entry.value());
    }
    if (!invalidated.isEmpty()) {
        // Only the names came: ask for the values again, which reports the state.
        for (const QString& name : invalidated) {
            watch->properties.remove(name);
        }
        fetchAll(*watch);
        return;
    }
    // Volume, rate or capability changes say nothing about the track or whether it plays.
    if (changed.contains(QStringLiteral("PlaybackStatus")) ||
        changed.contains(QStringLiteral("Metadata"))) {
        report(*watch, position);
    }
}

void MprisNativePlayers::seeked(const QDBusMessage& message) {
    Watch* watch = byOwner(message.service());
    if (!watch || message.arguments().isEmpty()) {
        return;
    }
    if (const std::optional<qlonglong> position = microseconds(message.arguments().constFirst())) {
        report(*watch, position);
    }
}

void MprisNativePlayers::report(const Watch& watch, std::optional<qlonglong> position) {
    QVariantMap properties = watch.properties;
    if (position) {
        properties.insert(QStringLiteral("Position"), *position);
    }
    const std::optional<NativePlayerState> state =
        NativePlayerState::fromProperties(watch.player.bundleID, properties, clock_.date());
    if (state && onChange) {
        onChange(*state);
    }
}

// Control ----------------------------------------------------------------------------------------

void MprisNativePlayers::call(const Watch& watch, const QString& name,
                              const QVariantList& arguments) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(watch.player.busName, objectPath, playerInterface, name);
    message.setArguments(arguments);
    whenAnswered(bus_.asyncCall(message), this, [](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ErrorMessage) {
            logFailure(reply.errorMessage());
        }
    });
}

void MprisNativePlayers::send(MediaCommand command, const std::string& bundleID) {
    if (const Watch* watch = byBundleID(bundleID); watch && bus_.isConnected()) {
        call(*watch, method(command));
    }
}

void MprisNativePlayers::seek(double seconds, const std::string& bundleID) {
    const Watch* watch = byBundleID(bundleID);
    if (!watch || !bus_.isConnected()) {
        return;
    }
    const qlonglong target =
        std::isfinite(seconds) && seconds > 0 ? std::llround(seconds * 1e6) : 0;
    const QString track = watch->properties.value(QStringLiteral("Metadata"))
                              .toMap()
                              .value(QStringLiteral("mpris:trackid"))
                              .toString();
    if (!track.isEmpty() && QDBusObjectPath(track).path() == track) {
        call(*watch, QStringLiteral("SetPosition"),
             {QVariant::fromValue(QDBusObjectPath(track)), target});
        return;
    }
    // Without a track id only a relative jump is possible: from where the player is now.
    const std::string id = watch->player.bundleID;
    getPosition(*watch, [this, id, target](std::optional<qlonglong> position) {
        const Watch* current = byBundleID(id);
        if (!position || !current) {
            return;
        }
        call(*current, QStringLiteral("Seek"), {QVariant::fromValue(target - *position)});
    });
}

void MprisNativePlayers::getPosition(const Watch& watch,
                                     std::function<void(std::optional<qlonglong>)> done) {
    QDBusMessage ask = QDBusMessage::createMethodCall(watch.player.busName, objectPath,
                                                      propertiesInterface, QStringLiteral("Get"));
    ask << playerInterface << QStringLiteral("Position");
    whenAnswered(bus_.asyncCall(ask), this, [done = std::move(done)](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            logFailure(reply.errorMessage());
            done(std::nullopt);
            return;
        }
        done(microseconds(reply.arguments().constFirst()));
    });
}

void MprisNativePlayers::fetchMusicDetails(DetailsCompletion completion) {
    const Watch* watch = byBundleID(musicBundleID);
    if (!watch || !bus_.isConnected()) {
        later([completion = std::move(completion)] { completion(std::nullopt, std::nullopt); });
        return;
    }
    getPosition(*watch, [this, completion = std::move(completion)](
                            std::optional<qlonglong> position) mutable {
        const Watch* current = byBundleID(musicBundleID);
        const QString url = current ? current->properties.value(QStringLiteral("Metadata"))
                                          .toMap()
                                          .value(QStringLiteral("mpris:artUrl"))
                                          .toString()
                                    : QString();
        const std::optional<double> seconds =
            position ? std::optional<double>(std::max<qlonglong>(*position, 0) / 1e6)
                     : std::nullopt;
        loadArtwork(
            url, [seconds, completion = std::move(completion)](std::optional<QByteArray> artwork) {
                completion(seconds, std::move(artwork));
            });
    });
}

void MprisNativePlayers::later(std::function<void()> action) {
    QMetaObject::invokeMethod(this, std::move(action), Qt::QueuedConnection);
}

void MprisNativePlayers::loadArtwork(const QString& url,
                                     std::function<void(std::optional<QByteArray>)> done) {
    const QUrl parsed(url);
    const QString scheme = parsed.scheme().toLower();
    if (scheme == QLatin1String("file") && parsed.isLocalFile()) {
        // Off the main thread: the file may sit on a slow disk or a network share.
        QThreadPool::globalInstance()->start([path = parsed.toLocalFile(),
                                              self = QPointer<MprisNativePlayers>(this),
                                              done = std::move(done)]() mutable {
            std::optional<QByteArray> bytes = readFile(path);
            QCoreApplication* application = QCoreApplication::instance();
            if (!application) {
                return;
            }
            QMetaObject::invokeMethod(
                application,
                [self, bytes = std::move(bytes), done = std::move(done)]() mutable {
                    if (self) {
                        done(std::move(bytes));
                    }
                },
                Qt::QueuedConnection);
        });
        return;
    }
    if (scheme == QLatin1String("data")) {
        later([bytes = dataURL(url), done = std::move(done)]() mutable { done(std::move(bytes)); });
        return;
    }
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        later([done = std::move(done)] { done(std::nullopt); });
        return;
    }
    if (!network_) {
        network_ = std::make_unique<QNetworkAccessManager>();
    }
    QNetworkReply* reply = network_->get(QNetworkRequest(parsed));
    QPointer<QNetworkReply> guard(reply);
    auto timeout = std::make_shared<DelayedJob>(clock_.schedule(artworkTimeout, [guard] {
        if (guard) {
            guard->abort();
        }
    }));
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > artworkLimit) {
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [reply, timeout, done = std::move(done)] {
        timeout->cancel();
        reply->deleteLater();
        if (reply->error() != QNetworkReply::NoError) {
            logFailure(reply->errorString());
            done(std::nullopt);
            return;
        }
        done(nonEmpty(reply->readAll()));
    });
}

} // namespace orlet
