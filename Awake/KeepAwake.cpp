#include "Awake/KeepAwake.h"

#include "Awake/DBusPowerManagement.h"
#include "Awake/PidfdProcessWatcher.h"
#include "Awake/RunningApplications.h"
#include "Platform/DesktopEntries.h"
#include "Platform/Log.h"
#include "Platform/ProcessInfo.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QPointer>
#include <unistd.h>

namespace orlet {

QString KeepAwake::Mode::label() const {
    switch (kind) {
    case Case::until: {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(end.time_since_epoch()).count();
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime);
        return QStringLiteral("Until ") + QLocale().toString(local.time(), QLocale::ShortFormat);
    }
    case Case::whileRunning:
        return QStringLiteral("While ") + appName + QStringLiteral(" runs");
    case Case::indefinite:
        break;
    }
    return QStringLiteral("Until turned off");
}

KeepAwake::KeepAwake(Environment environment, QObject* parent)
    : QObject(parent), env_(std::move(environment)) {}

KeepAwake::~KeepAwake() {
    release();
}

KeepAwake& KeepAwake::shared() {
    static QPointer<KeepAwake> instance;
    if (!instance) {
        Environment environment{
            Clock::shared(),
            std::make_shared<DBusPowerManagement>(QDBusConnection::systemBus(),
                                                  QDBusConnection::sessionBus()),
            std::make_shared<PidfdProcessWatcher>(),
            [] {
                return RunningApplications(ProcessInfo::shared(), DesktopEntries::shared())
                    .list(getpid());
            },
        };
        // Owned by the application object, so whatever is held goes back before the buses go.
        instance = new KeepAwake(std::move(environment), QCoreApplication::instance());
    }
    return *instance;
}

void KeepAwake::start(const Mode& mode) {
    release();
    // Set first: a holder may answer at once, and its log line names this mode.
    mode_ = mode;

    unanswered_ = std::size(assertionTypes);
    granted_ = 0;
    for (const PowerManagement::AssertionType type : assertionTypes) {
        assertions_.push_back(env_.power->create(
            type, assertionName, [this](bool granted) { assertionSettled(granted); }));
    }

    declareActivity();

    switch (mode.kind) {
    case Mode::Case::until: {
        const Clock::Duration left =
            std::max(Clock::Duration::zero(), mode.end - env_.clock.date());
        endTask_ = env_.clock.schedule(left, [this] { stop(); });
        break;
    }
    case Mode::Case::whileRunning:
        // Also ends a wait for an application that quit before this start: staying on for good
        // under the label "While … runs" would be a promise nobody keeps.
        terminationWatch_ = env_.processes->watch(mode.pid, [this] { stop(); });
        if (!terminationWatch_) {
            qCWarning(logApp()).noquote()
                << QStringLiteral(
                       "Keep awake cannot watch process %1; it stays on until turned off")
                       .arg(mode.pid);
        }
        break;
    case Mode::Case::indefinite:
        break;
    }

    emit modeChanged();
    if (onChange) {
        onChange(true);
    }
}

void KeepAwake::stop() {
    if (!mode_) {
        return;
    }
    release();
    mode_.reset();
    qCInfo(logApp()).noquote() << "Keep awake off";
    emit modeChanged();
    if (onChange) {
        onChange(false);
    }
}

std::vector<KeepAwake::RunningApp> KeepAwake::runningApps() const {
    return env_.runningApps ? env_.runningApps() : std::vector<RunningApp>{};
}

void KeepAwake::release() {
    assertions_.clear();
    unanswered_ = 0;
    activityLoop_.cancel();
    endTask_.cancel();
    terminationWatch_.reset();
}

void KeepAwake::declareActivity() {
    env_.power->declareUserActivity();
    activityLoop_ = env_.clock.schedule(activityInterval, [this] { declareActivity(); });
}

void KeepAwake::assertionSettled(bool granted) {
    if (unanswered_ == 0) {
        return;
    }
    granted_ += granted ? 1 : 0;
    --unanswered_;
    // The count is known only once every holder answered.
    if (unanswered_ == 0 && mode_) {
        qCInfo(logApp()).noquote()
            << QStringLiteral("Keep awake on: %1, %2 assertions").arg(mode_->label()).arg(granted_);
    }
}

} // namespace orlet
