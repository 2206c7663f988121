#pragma once

#include "Awake/PowerManagement.h"

#include <QDBusConnection>
#include <memory>

namespace orlet {

// logind's "idle:sleep" inhibitor on the system bus, held as the file descriptor logind hands
// out, and the session's org.freedesktop.ScreenSaver inhibition and activity calls. Missing
// services are logged; the assertion then counts as refused.
class DBusPowerManagement : public PowerManagement {
public:
    static constexpr const char* inhibitorWho = "Orlet";
    static constexpr const char* inhibitorWhat = "idle:sleep";

    DBusPowerManagement(QDBusConnection systemBus, QDBusConnection sessionBus);
    ~DBusPowerManagement() override;

    std::unique_ptr<Assertion> create(AssertionType type, const QString& name,
                                      std::function<void(bool granted)> settled) override;
    void declareUserActivity() override;

private:
    std::unique_ptr<Assertion> inhibitSleep(const QString& name, std::function<void(bool)> settled);
    std::unique_ptr<Assertion> inhibitScreenSaver(const QString& name,
                                                  std::function<void(bool)> settled);

    QDBusConnection system_;
    QDBusConnection session_;
    // Shared with replies still under way; one missing screen saver is reported once.
    std::shared_ptr<bool> activityFailureLogged_ = std::make_shared<bool>(false);
};

} // namespace orlet
