#pragma once

#include "Awake/PowerManagement.h"
#include "Awake/ProcessWatcher.h"
#include "Awake/RunningApp.h"
#include "Platform/Clock.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace orlet {

// Holds off display sleep and idle sleep for a while: until a time, while an application runs,
// or until turned off. Always starts off; nothing is kept across launches. Main thread only.
class KeepAwake : public QObject {
    Q_OBJECT

public:
    using RunningApp = orlet::RunningApp;

    struct Mode {
        enum class Case { until, whileRunning, indefinite };

        Case kind = Case::indefinite;
        Clock::Date end{}; ///< until
        pid_t pid = 0;     ///< whileRunning
        QString appName;   ///< whileRunning

        static Mode until(Clock::Date end) { return {Case::until, end, 0, {}}; }
        static Mode whileRunning(pid_t pid, QString name) {
            return {Case::whileRunning, {}, pid, std::move(name)};
        }
        static Mode indefinite() { return {}; }

        // "Until 3:45 PM" in the user's locale and time zone, "While Firefox runs",
        // "Until turned off".
        QString label() const;

        bool operator==(const Mode&) const = default;
    };

    struct Environment {
        Clock& clock;
        std::shared_ptr<PowerManagement> power;
        std::shared_ptr<ProcessWatcher> processes;
        std::function<std::vector<RunningApp>()> runningApps;
    };

    // In this order; each held while keep-awake is on.
    static constexpr PowerManagement::AssertionType assertionTypes[] = {
        PowerManagement::AssertionType::displaySleep, PowerManagement::AssertionType::idleSleep};
    static inline const QString assertionName = QStringLiteral("Orlet: Keep Awake");
    static constexpr std::chrono::seconds activityInterval{30};

    explicit KeepAwake(Environment environment, QObject* parent = nullptr);
    ~KeepAwake() override;

    // logind and the session's screen saver over D-Bus, processes watched with pidfds.
    static KeepAwake& shared();

    // Replaces whatever mode was on; everything held before is given back first.
    void start(const Mode& mode);
    void stop();

    bool isActive() const { return mode_.has_value(); }
    const std::optional<Mode>& mode() const { return mode_; }
    // Assertions held, granted or not yet answered.
    std::size_t assertionCount() const { return assertions_.size(); }

    // The user's desktop applications except this one, by name.
    std::vector<RunningApp> runningApps() const;

    // Set by the notch before start(): true after every start, false after a stop.
    std::function<void(bool)> onChange;

signals:
    void modeChanged();

private:
    void release();
    void declareActivity();
    void assertionSettled(bool granted);

    Environment env_;
    std::optional<Mode> mode_;
    std::vector<std::unique_ptr<PowerManagement::Assertion>> assertions_;
    std::size_t unanswered_ = 0;
    std::size_t granted_ = 0;
    DelayedJob activityLoop_;
    DelayedJob endTask_;
    std::unique_ptr<ProcessWatcher::Watch> terminationWatch_;
};

} // namespace orlet
