#pragma once

#include "TemporaryDirectory.h"

#include <QDBusConnection>
#include <QString>
#include <string>
#include <sys/types.h>
#include <vector>

namespace orlet::test {

// A dbus-daemon of its own and the programs started on it, each in its own process group;
// all of them are ended when this object goes, and should the test die they get SIGTERM.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const std::string& address() const { return address_; }
    // A connection of this process to the bus.
    QDBusConnection& connection() { return connection_; }

    // Starts `argv` with the bus as both its session and its system bus; its process group.
    pid_t launch(const std::vector<std::string>& argv);
    // Ends a program started by launch() and waits for it.
    void end(pid_t group);
    // Polls until `name` has an owner; whether it got one.
    bool waitForName(const QString& name);

private:
    static pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       int addressPipe);

    TemporaryDirectory directory_;
    std::string address_;
    std::vector<pid_t> groups_;
    QString connectionName_;
    QDBusConnection connection_{QString()};
};

} // namespace orlet::test
