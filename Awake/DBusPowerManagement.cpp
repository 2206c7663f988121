#include "Awake/DBusPowerManagement.h"

#include "Platform/Log.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <optional>

namespace orlet {
namespace {

const QString loginService = QStringLiteral("org.freedesktop.login1");
const QString loginPath = QStringLiteral("/org/freedesktop/login1");
const QString loginManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString screenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString screenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString screenSaverInterface = QStringLiteral("org.freedesktop.ScreenSaver");

// Runs `done` with the finished call once the reply is in, on the main thread.
template <typename Done> void whenAnswered(const QDBusPendingCall& call, Done done) {
    auto* watcher = new QDBusPendingCallWatcher(call);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         done(*finished);
                     });
}

// The inhibition lasts as long as logind's descriptor stays open anywhere, so it is closed the
// moment the holder goes, and a late answer for a holder that is gone is closed at once.
class SleepInhibitor : public PowerManagement::Assertion {
public:
    struct State {
        bool released = false;
        std::optional<QDBusUnixFileDescriptor> fd;
        std::function<void(bool)> settled;
    };

    explicit SleepInhibitor(std::shared_ptr<State> state) : state_(std::move(state)) {}
    ~SleepInhibitor() override {
        state_->released = true;
        state_->fd.reset();
        state_->settled = nullptr;
    }

private:
    std::shared_ptr<State> state_;
};

// The screen saver keeps a cookie per inhibition; giving it back ends the inhibition.
class ScreenSaverInhibitor : public PowerManagement::Assertion {
public:
    struct State {
        QDBusConnection bus;
        bool released = false;
        std::optional<uint> cookie;
        std::function<void(bool)> settled;

        void uninhibit() const {
            QDBusMessage call =
                QDBusMessage::createMethodCall(screenSaverService, screenSaverPath,
                                               screenSaverInterface, QStringLiteral("UnInhibit"));
            call << *cookie;
            bus.send(call);
        }
    };

    explicit ScreenSaverInhibitor(std::shared_ptr<State> state) : state_(std::move(state)) {}
    ~ScreenSaverInhibitor() override {
        state_->released = true;
        state_->settled = nullptr;
        if (state_->cookie) {
            state_->uninhibit();
            state_->cookie.reset();
        }
    }

private:
    std::shared_ptr<State> state_;
};

} // namespace

DBusPowerManagement::DBusPowerManagement(QDBusConnection systemBus, QDBusConnection sessionBus)
    : system_(std::move(systemBus)), session_(std::move(sessionBus)) {}

DBusPowerManagement::~DBusPowerManagement() = default;

std::unique_ptr<PowerManagement::Assertion>
DBusPowerManagement::create(AssertionType type, const QString& name,
                            std::function<void(bool granted)> settled) {
    switch (type) {
    case AssertionType::displaySleep:
        return inhibitScreenSaver(name, std::move(settled));
    case AssertionType::idleSleep:
        break;
    }
    return inhibitSleep(name, std::move(settled));
}

std::unique_ptr<PowerManagement::Assertion>
DBusPowerManagement::inhibitSleep(const QString& name, std::function<void(bool)> settled) {
    auto state = std::make_shared<SleepInhibitor::State>();
    state->settled = std::move(settled);
    QDBusMessage call =
        QDBusMessage::createMethodCall(loginService, loginPath, loginManager, "Inhibit");
    call << QString::fromLatin1(inhibitorWhat) << QString::fromLatin1(inhibitorWho) << name
         << QStringLiteral("block");
    whenAnswered(system_.asyncCall(call), [state](const QDBusPendingCallWatcher& answer) {
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = answer;
        const bool granted = !reply.isError() && reply.value().isValid();
        if (reply.isError()) {
            qCInfo(logApp()).noquote() << "Keep awake cannot inhibit idle sleep through logind:"
                                       << reply.error().message();
        }
        if (state->released) {
            return; // the reply's descriptor closes with it
        }
        if (granted) {
            state->fd = reply.value();
        }
        if (auto settled = std::move(state->settled)) {
            settled(granted);
        }
    });
    return std::make_unique<SleepInhibitor>(state);
}

std::unique_ptr<PowerManagement::Assertion>
DBusPowerManagement::inhibitScreenSaver(const QString& name, std::function<void(bool)> settled) {
    auto state = std::make_shared<ScreenSaverInhibitor::State>(
        ScreenSaverInhibitor::State{session_, false, std::nullopt, std::move(settled)});
    QDBusMessage call = QDBusMessage::createMethodCall(screenSaverService, screenSaverPath,
                                                       screenSaverInterface, "Inhibit");
    call << QString::fromLatin1(inhibitorWho) << name;
    whenAnswered(session_.asyncCall(call), [state](const QDBusPendingCallWatcher& answer) {
        const QDBusPendingReply<uint> reply = answer;
        if (reply.isError()) {
            qCInfo(logApp()).noquote()
                << "Keep awake cannot inhibit the screen saver:" << reply.error().message();
        } else {
            state->cookie = reply.value();
            if (state->released) {
                state->uninhibit();
                state->cookie.reset();
                return;
            }
        }
        if (state->released) {
            return;
        }
        if (auto settled = std::move(state->settled)) {
            settled(!reply.isError());
        }
    });
    return std::make_unique<ScreenSaverInhibitor>(state);
}

void DBusPowerManagement::declareUserActivity() {
    const QDBusMessage call = QDBusMessage::createMethodCall(
        screenSaverService, screenSaverPath, screenSaverInterface, "SimulateUserActivity");
    whenAnswered(session_.asyncCall(call),
                 [logged = activityFailureLogged_](const QDBusPendingCallWatcher& answer) {
                     if (answer.isError() && !*logged) {
                         *logged = true;
                         qCInfo(logApp()).noquote() << "Keep awake cannot declare user activity:"
                                                    << answer.error().message();
                     } else if (!answer.isError()) {
                         *logged = false;
                     }
                 });
}

} // namespace orlet
