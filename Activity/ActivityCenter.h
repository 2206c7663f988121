#pragma once

#include "Activity/ActivityItem.h"
#include "Activity/ActivityTransport.h"
#include "Activity/ApprovalPrompt.h"
#include "HUD/TransientActivity.h"

#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace orlet {

class DefaultsStore;

// Turns protocol messages from local programs into activities: asks the user once per
// application, keeps the running and the recently finished activities, expires stale ones and
// announces notifications and results as pop-ups.
class ActivityCenter : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isListening READ isListening NOTIFY isListeningChanged)

public:
    // An application the user has answered for; kept under "activity.apps".
    struct KnownApp {
        std::string id;
        std::string name;
        bool allowed = false;
        std::optional<std::string> bundlePath;
        bool operator==(const KnownApp&) const = default;
    };

    struct Environment {
        Clock& clock;
        DefaultsStore& defaults;
        ApprovalPrompt& prompt;
        std::function<void(const TransientActivity&)> showTransient;
        std::function<std::unique_ptr<ActivityTransport>(const std::string& path,
                                                         ActivityTransport::Events events)>
            makeServer;
        std::string socketPath;
        // The icon name of an application's desktop entry; empty: no icons.
        std::function<std::optional<QString>(const std::string& desktopEntryPath)> iconOf;
    };

    static constexpr std::size_t recentLimit = 6;
    static constexpr std::size_t pendingLimit = 50;
    static constexpr std::chrono::seconds expiryInterval{30};
    static constexpr double defaultTTL = 1800;

    explicit ActivityCenter(Environment environment, QObject* parent = nullptr);
    ~ActivityCenter() override;

    void start();
    void stop();

    // From the server, on the main thread.
    void connected(int fd, const ClientIdentity& identity);
    void received(int fd, const std::string& line);
    void disconnected(int fd);

    // One message of an allowed client.
    void apply(const ActivityMessage& message, int fd, const ClientIdentity& identity);

    // The waiting item, else the most recently updated one.
    std::optional<ActivityItem> featured() const;
    std::optional<QString> icon(const std::string& appID) const;
    void dismissRecent(const ActivityItem& item);
    void setAllowed(const std::string& appID, bool allowed);
    void forget(const std::string& appID);

    static std::string shortDuration(std::int64_t seconds);

    const std::vector<ActivityItem>& active() const { return active_; }
    const std::vector<ActivityItem>& recent() const { return recent_; }
    const std::vector<KnownApp>& knownApps() const { return knownApps_; }
    bool isListening() const { return isListening_; }

    // Called after every change of the active list; true when an item wants the user.
    std::function<void(bool attention)> onChange;

signals:
    void activeChanged();
    void recentChanged();
    void knownAppsChanged();
    void isListeningChanged();

private:
    struct Connection {
        ClientIdentity identity;
        bool persistent = false;
    };

    void send(const ActivityMessage& message, int fd);
    void sendError(const std::string& text, int fd);
    void askApproval(const ClientIdentity& identity);
    void answered(const ClientIdentity& identity, bool allowed);
    void changed(bool attention);
    void scheduleExpiry();
    void expire();
    void announceEnd(const ActivityItem& item);
    void rememberIcon(const ClientIdentity& identity);
    bool removeActive(const std::function<bool(const ActivityItem&)>& matches);
    ActivityItem* findActive(const std::string& appID, const std::string& activityID);
    void loadKnownApps();
    void saveKnownApps();

    Environment env_;
    std::vector<ActivityItem> active_;
    std::vector<ActivityItem> recent_;
    std::vector<KnownApp> knownApps_;
    bool isListening_ = false;
    std::unique_ptr<ActivityTransport> server_;
    std::map<int, Connection> connections_;
    std::map<std::string, std::vector<std::pair<int, ActivityMessage>>> pending_;
    std::set<std::string> askingApproval_;
    std::map<std::string, QString> icons_;
    DelayedJob expiry_;
};

} // namespace orlet
