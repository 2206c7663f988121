#include "Activity/ActivityCenter.h"

#include "OrletKit/ShellHook.h"
#include "Platform/DefaultsStore.h"
#include "Platform/Log.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <algorithm>

namespace orlet {
namespace {

const QString knownAppsKey = QStringLiteral("activity.apps");

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

ActivityMessage reply(const char* type) {
    return ActivityMessage(type);
}

} // namespace

ActivityCenter::ActivityCenter(Environment environment, QObject* parent)
    : QObject(parent), env_(std::move(environment)) {
    loadKnownApps();
}

ActivityCenter::~ActivityCenter() {
    stop();
}

// Lifecycle --------------------------------------------------------------------------------------

void ActivityCenter::start() {
    if (server_) {
        return;
    }
    ActivityTransport::Events events{
        [this](int fd, ClientIdentity identity) { connected(fd, identity); },
        [this](int fd, std::string line) { received(fd, line); },
        [this](int fd) { disconnected(fd); },
    };
    try {
        std::unique_ptr<ActivityTransport> server =
            env_.makeServer(env_.socketPath, std::move(events));
        server->start();
        server_ = std::move(server);
    } catch (const std::exception& error) {
        qCCritical(logApp()).noquote() << "API failed to start: " + QString::fromUtf8(error.what());
        return;
    }
    isListening_ = true;
    emit isListeningChanged();
    qCInfo(logApp()).noquote() << "API listening on " + qt(env_.socketPath);
}

void ActivityCenter::stop() {
    if (!server_) {
        return;
    }
    server_->stop();
    server_.reset();
    isListening_ = false;
    emit isListeningChanged();
}

void ActivityCenter::send(const ActivityMessage& message, int fd) {
    // Replies to a connection that is gone (or never was) have nowhere to go.
    if (server_ && fd >= 0) {
        server_->send(message, fd);
    }
}

void ActivityCenter::sendError(const std::string& text, int fd) {
    ActivityMessage error = reply("error");
    error.message = text;
    send(error, fd);
}

// Server events ---------------------------------------------------------------------------------

void ActivityCenter::connected(int fd, const ClientIdentity& identity) {
    connections_[fd] = Connection{identity, false};
}

void ActivityCenter::received(int fd, const std::string& line) {
    const auto connection = connections_.find(fd);
    if (connection == connections_.end()) {
        return;
    }
    const std::optional<ActivityMessage> message = ActivityMessage::decode(line);
    if (!message) {
        sendError("invalid JSON message", fd);
        return;
    }
    const ClientIdentity identity = connection->second.identity;
    const auto known = std::find_if(knownApps_.begin(), knownApps_.end(),
                                    [&](const KnownApp& app) { return app.id == identity.id; });
    if (known != knownApps_.end()) {
        if (known->allowed) {
            apply(*message, fd, identity);
        } else {
            ActivityMessage denied = reply("denied");
            denied.message =
                identity.name + " is not allowed in Orlet's Settings \u2192 Connections";
            send(denied, fd);
        }
        return;
    }
    qCDebug(logApp()).noquote() << "Message from" << qt(identity.id)
                                << "waits for the user's answer";
    auto& queued = pending_[identity.id];
    if (queued.size() < pendingLimit) {
        queued.emplace_back(fd, *message);
    }
    if (message->type == "hello") {
        send(reply("pending"), fd);
    }
    askApproval(identity);
}

void ActivityCenter::disconnected(int fd) {
    if (connections_.erase(fd) == 0) {
        return;
    }
    // Queued messages stay, but without their connection: the number may soon name another
    // client, which must not get their replies nor own their activities.
    for (auto& [app, queued] : pending_) {
        for (auto& entry : queued) {
            if (entry.first == fd) {
                entry.first = -1;
            }
        }
    }
    if (removeActive([fd](const ActivityItem& item) { return item.connection == fd; })) {
        if (onChange) {
            onChange(false);
        }
    }
}

// Approval ---------------------------------------------------------------------------------------

void ActivityCenter::askApproval(const ClientIdentity& identity) {
    if (!askingApproval_.insert(identity.id).second) {
        return;
    }
    // Never inside the message handler: the question starts from the event loop.
    env_.clock
        .schedule(Clock::Duration::zero(),
                  [center = QPointer<ActivityCenter>(this), identity] {
                      if (!center) {
                          return;
                      }
                      const QString name = qt(identity.name);
                      ApprovalPrompt::Request request{
                          QStringLiteral("Allow \u201c") + name +
                              QStringLiteral("\u201d to show activities in the notch?"),
                          name + QStringLiteral(" wants to show its progress (for example a "
                                                "working agent) in Orlet. You can change this "
                                                "any time in Settings \u2192 Connections."),
                          QStringLiteral("Allow"),
                          QStringLiteral("Don't Allow"),
                          identity.bundlePath ? std::optional<QString>(qt(*identity.bundlePath))
                                              : std::nullopt,
                      };
                      center->env_.prompt.ask(request, [center, identity](bool allowed) {
                          if (center) {
                              center->answered(identity, allowed);
                          }
                      });
                  })
        .detach();
}

void ActivityCenter::answered(const ClientIdentity& identity, bool allowed) {
    std::erase_if(knownApps_, [&](const KnownApp& app) { return app.id == identity.id; });
    knownApps_.push_back(KnownApp{identity.id, identity.name, allowed, identity.bundlePath});
    saveKnownApps();
    emit knownAppsChanged();

    askingApproval_.erase(identity.id);
    std::vector<std::pair<int, ActivityMessage>> queued;
    if (const auto found = pending_.find(identity.id); found != pending_.end()) {
        queued = std::move(found->second);
        pending_.erase(found);
    }
    for (const auto& [fd, message] : queued) {
        if (allowed) {
            apply(message, fd, identity);
        } else {
            send(reply("denied"), fd);
        }
    }
}

// Messages ---------------------------------------------------------------------------------------

ActivityItem* ActivityCenter::findActive(const std::string& appID, const std::string& activityID) {
    const auto found = std::find_if(active_.begin(), active_.end(), [&](const ActivityItem& item) {
        return item.appID == appID && item.activityID == activityID;
    });
    return found == active_.end() ? nullptr : &*found;
}

void ActivityCenter::apply(const ActivityMessage& message, int fd, const ClientIdentity& identity) {
    const Clock::TimePoint now = env_.clock.now();
    const std::string& type = message.type;
    const auto clamped = [](std::optional<double> value) {
        return value ? std::optional<double>(std::clamp(*value, 0.0, 1.0)) : std::nullopt;
    };

    if (type == "hello") {
        if (message.persistent == true) {
            if (const auto connection = connections_.find(fd); connection != connections_.end()) {
                connection->second.persistent = true;
            }
        }
        send(reply("welcome"), fd);
    } else if (type == "ping") {
        send(reply("pong"), fd);
    } else if (type == "activity.start") {
        if (!message.id) {
            sendError("activity.start needs an id", fd);
            return;
        }
        ActivityItem item;
        item.appID = identity.id;
        item.appName = identity.name;
        item.activityID = *message.id;
        item.kind = message.kind.value_or("progress");
        item.title = message.title.value_or(identity.name);
        item.subtitle = message.subtitle;
        item.step = message.step;
        item.progress = clamped(message.progress);
        item.state = message.state.value_or(ActivityState::running);
        item.actions = message.actions.value_or(std::vector<ActivityAction>{});
        item.startedAt = now;
        item.updatedAt = now;
        const auto connection = connections_.find(fd);
        if (connection != connections_.end() && connection->second.persistent) {
            item.connection = fd;
        }
        item.ttl = message.ttl.value_or(defaultTTL);
        rememberIcon(identity);
        const std::string id = item.id();
        removeActive([&](const ActivityItem& other) { return other.id() == id; });
        const bool attention = item.state == ActivityState::waiting;
        qCDebug(logApp()).noquote() << "Activity" << qt(id) << "started";
        active_.push_back(std::move(item));
        emit activeChanged();
        changed(attention);
    } else if (type == "activity.update") {
        if (!message.id) {
            return;
        }
        ActivityItem* stored = findActive(identity.id, *message.id);
        if (stored == nullptr) {
            return;
        }
        ActivityItem copy = *stored;
        const ActivityState oldState = copy.state;
        if (message.title) {
            copy.title = *message.title;
        }
        if (message.subtitle) {
            copy.subtitle = message.subtitle;
        }
        if (message.step) {
            copy.step = message.step;
        }
        if (message.progress) {
            copy.progress = clamped(message.progress);
        }
        if (message.state) {
            if (oldState == ActivityState::waiting && *message.state != ActivityState::waiting &&
                !message.step) {
                copy.step.reset();
            }
            copy.state = *message.state;
        }
        if (message.actions) {
            copy.actions = *message.actions;
        }
        if (message.ttl) {
            copy.ttl = *message.ttl;
        }
        copy.updatedAt = now;
        if (copy != *stored) {
            *stored = std::move(copy);
            emit activeChanged();
            changed(stored->state == ActivityState::waiting && oldState != ActivityState::waiting);
        }
    } else if (type == "activity.end") {
        if (!message.id) {
            return;
        }
        ActivityItem* stored = findActive(identity.id, *message.id);
        if (stored == nullptr) {
            return;
        }
        ActivityItem item = std::move(*stored);
        active_.erase(active_.begin() + (stored - active_.data()));
        item.state = message.result.value_or(ActivityState::done);
        item.endedAt = now;
        item.message = message.message;
        item.step.reset();
        qCDebug(logApp()).noquote() << "Activity" << qt(item.id()) << "ended as"
                                    << QString::fromLatin1(rawValue(item.state).data());
        recent_.insert(recent_.begin(), item);
        if (recent_.size() > recentLimit) {
            recent_.resize(recentLimit);
        }
        emit activeChanged();
        emit recentChanged();
        if (onChange) {
            onChange(false);
        }
        scheduleExpiry();
        if (message.quiet != true) {
            announceEnd(item);
        }
    } else if (type == "notify") {
        if (!message.message || message.message->empty()) {
            sendError("notify needs a message", fd);
            return;
        }
        rememberIcon(identity);
        const std::string severity = message.severity.value_or("");
        TransientActivity::Tone tone = TransientActivity::Tone::info;
        QString symbol = QStringLiteral("bell.fill");
        if (severity == "success") {
            tone = TransientActivity::Tone::success;
            symbol = QStringLiteral("checkmark.circle.fill");
        } else if (severity == "warning") {
            tone = TransientActivity::Tone::attention;
            symbol = QStringLiteral("exclamationmark.bubble.fill");
        } else if (severity == "critical") {
            tone = TransientActivity::Tone::failure;
            symbol = QStringLiteral("xmark.octagon.fill");
        }
        if (env_.showTransient) {
            env_.showTransient(
                TransientActivity::app(qt(identity.id), symbol, qt(*message.message), tone));
        }
    } else {
        sendError("unknown message type " + type, fd);
    }
}

void ActivityCenter::changed(bool attention) {
    if (attention) {
        const std::optional<ActivityItem> item = featured();
        if (item && item->state == ActivityState::waiting && env_.showTransient) {
            env_.showTransient(TransientActivity::app(
                qt(item->appID), QStringLiteral("exclamationmark.bubble.fill"),
                QStringLiteral("Needs you"), TransientActivity::Tone::attention));
        }
    }
    if (onChange) {
        onChange(attention);
    }
    scheduleExpiry();
}

void ActivityCenter::announceEnd(const ActivityItem& item) {
    if (!env_.showTransient) {
        return;
    }
    QString text;
    QString symbol;
    TransientActivity::Tone tone = TransientActivity::Tone::success;
    if (item.state == ActivityState::cancelled) {
        text = qt(item.message.value_or("Stopped"));
        tone = TransientActivity::Tone::info;
        symbol = QStringLiteral("bell.fill");
    } else if (item.state == ActivityState::failed) {
        text = qt(item.message.value_or("Failed"));
        tone = TransientActivity::Tone::failure;
        symbol = QStringLiteral("xmark.octagon.fill");
    } else {
        const Clock::TimePoint end = item.endedAt.value_or(env_.clock.now());
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::seconds>(end - item.startedAt).count();
        text = qt(item.message.value_or("Done") + " \u00b7 " + shortDuration(elapsed));
        symbol = QStringLiteral("checkmark.circle.fill");
    }
    env_.showTransient(TransientActivity::app(qt(item.appID), symbol, text, tone));
}

// Expiry -----------------------------------------------------------------------------------------

void ActivityCenter::scheduleExpiry() {
    expiry_.cancel();
    const bool anyUnbound = std::any_of(active_.begin(), active_.end(),
                                        [](const ActivityItem& item) { return !item.connection; });
    if (!anyUnbound) {
        return;
    }
    expiry_ = env_.clock.schedule(expiryInterval, [this] { expire(); });
}

void ActivityCenter::expire() {
    const Clock::TimePoint now = env_.clock.now();
    const bool removed = removeActive([now](const ActivityItem& item) {
        const double idle = std::chrono::duration<double>(now - item.updatedAt).count();
        return !item.connection && idle > item.ttl;
    });
    if (removed && onChange) {
        onChange(false);
    }
    scheduleExpiry();
}

bool ActivityCenter::removeActive(const std::function<bool(const ActivityItem&)>& matches) {
    const std::size_t before = active_.size();
    std::erase_if(active_, matches);
    if (active_.size() == before) {
        return false;
    }
    emit activeChanged();
    return true;
}

// Queries and settings ---------------------------------------------------------------------------

std::optional<ActivityItem> ActivityCenter::featured() const {
    const auto waiting = std::find_if(active_.begin(), active_.end(), [](const ActivityItem& item) {
        return item.state == ActivityState::waiting;
    });
    if (waiting != active_.end()) {
        return *waiting;
    }
    const auto latest = std::max_element(
        active_.begin(), active_.end(),
        [](const ActivityItem& a, const ActivityItem& b) { return a.updatedAt < b.updatedAt; });
    if (latest == active_.end()) {
        return std::nullopt;
    }
    return *latest;
}

void ActivityCenter::rememberIcon(const ClientIdentity& identity) {
    if (icons_.count(identity.id) != 0 || !identity.bundlePath || !env_.iconOf) {
        return;
    }
    if (const std::optional<QString> icon = env_.iconOf(*identity.bundlePath)) {
        icons_[identity.id] = *icon;
    }
}

std::optional<QString> ActivityCenter::icon(const std::string& appID) const {
    const auto found = icons_.find(appID);
    return found == icons_.end() ? std::nullopt : std::optional<QString>(found->second);
}

void ActivityCenter::dismissRecent(const ActivityItem& item) {
    const std::string id = item.id();
    const std::size_t before = recent_.size();
    std::erase_if(recent_, [&](const ActivityItem& entry) { return entry.id() == id; });
    if (recent_.size() != before) {
        emit recentChanged();
    }
}

void ActivityCenter::setAllowed(const std::string& appID, bool allowed) {
    const auto app = std::find_if(knownApps_.begin(), knownApps_.end(),
                                  [&](const KnownApp& known) { return known.id == appID; });
    if (app == knownApps_.end()) {
        return;
    }
    app->allowed = allowed;
    if (!allowed && removeActive([&](const ActivityItem& item) { return item.appID == appID; }) &&
        onChange) {
        onChange(false);
    }
    saveKnownApps();
    emit knownAppsChanged();
}

void ActivityCenter::forget(const std::string& appID) {
    std::erase_if(knownApps_, [&](const KnownApp& known) { return known.id == appID; });
    if (removeActive([&](const ActivityItem& item) { return item.appID == appID; }) && onChange) {
        onChange(false);
    }
    saveKnownApps();
    emit knownAppsChanged();
}

std::string ActivityCenter::shortDuration(std::int64_t seconds) {
    return ShellHook::duration(seconds);
}

// Persistence ------------------------------------------------------------------------------------

void ActivityCenter::loadKnownApps() {
    const std::optional<QByteArray> bytes = env_.defaults.bytes(knownAppsKey);
    if (!bytes) {
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(*bytes);
    if (!document.isArray()) {
        return;
    }
    std::vector<KnownApp> apps;
    for (const QJsonValue& value : document.array()) {
        const QJsonObject object = value.toObject();
        if (!object.value("id").isString() || !object.value("name").isString() ||
            !object.value("allowed").isBool()) {
            return; // unreadable as a whole, like any other undecodable value
        }
        KnownApp app{object.value("id").toString().toStdString(),
                     object.value("name").toString().toStdString(),
                     object.value("allowed").toBool(), std::nullopt};
        if (object.value("bundlePath").isString()) {
            app.bundlePath = object.value("bundlePath").toString().toStdString();
        }
        apps.push_back(std::move(app));
    }
    knownApps_ = std::move(apps);
}

void ActivityCenter::saveKnownApps() {
    QJsonArray list;
    for (const KnownApp& app : knownApps_) {
        QJsonObject object{{"id", qt(app.id)}, {"name", qt(app.name)}, {"allowed", app.allowed}};
        if (app.bundlePath) {
            object.insert("bundlePath", qt(*app.bundlePath));
        }
        list.append(object);
    }
    env_.defaults.set(knownAppsKey, QJsonDocument(list).toJson(QJsonDocument::Compact));
}

} // namespace orlet
