#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <optional>
#include <string>

namespace orlet {

// Whether nobody can see the screen: the machine is about to sleep (logind's PrepareForSleep),
// the user's session was switched away (its Active property), or the screen saver is on.
// Driven by D-Bus signals only; main thread.
class SessionActivityWatcher : public QObject {
    Q_OBJECT

public:
    struct Buses {
        std::optional<std::string> system{};  ///< none: the system bus
        std::optional<std::string> session{}; ///< none: the session bus
    };

    // On the system and session buses.
    SessionActivityWatcher();
    explicit SessionActivityWatcher(Buses buses, QObject* parent = nullptr);
    ~SessionActivityWatcher() override;

    // Subscribes. `sessionId` names this process's logind session; none asks logind for the
    // session of this process.
    void start(std::optional<QString> sessionId);

    bool isSuspended() const { return sleeping_ || inactive_ || screenSaverOn_; }

    // Called with the new value whenever isSuspended() changes.
    std::function<void(bool)> onChange;

private slots:
    void prepareForSleep(bool sleeping);
    void sessionPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                  const QStringList& invalidated);
    void screenSaverActiveChanged(bool active);

private:
    void update(bool& flag, bool value);

    Buses buses_;
    QDBusConnection system_{QString()};
    QDBusConnection session_{QString()};
    QString systemName_;
    QString sessionName_;
    bool sleeping_ = false;
    bool inactive_ = false;
    bool screenSaverOn_ = false;
};

} // namespace orlet
