#pragma once

#include "TemporaryDirectory.h"
#include "XDesktop.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <fstream>
#include <memory>
#include <string>

namespace orlet::test {

// Waits on a real peer while the event loop delivers its answers.
inline bool settles(const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
    return eventually(
        [&condition] {
            QCoreApplication::processEvents();
            return condition();
        },
        timeout);
}

// A D-Bus daemon of the test's own, listening in a private folder; gone with the object.
class PrivateBus {
public:
    explicit PrivateBus(const std::string& name) : name_(QString::fromStdString(name)) {
        const auto config = directory_.path() / "bus.conf";
        std::ofstream(config)
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
               "1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>session</type><listen>unix:dir="
            << directory_.path().string()
            << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
               "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
               "<allow own=\"*\"/></policy></busconfig>\n";
        daemon_ = std::make_unique<BackgroundProcess>(
            std::vector<std::string>{"dbus-daemon", "--nofork", "--print-address=1",
                                     "--config-file=" + config.string()},
            Environment{{"PATH", "/usr/bin:/bin"}});
        if (daemon_->waitForOut("\n")) {
            address_ = daemon_->out().substr(0, daemon_->out().find('\n'));
        }
    }

    ~PrivateBus() { QDBusConnection::disconnectFromBus(name_); }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool ready() const { return !address_.empty(); }
    const std::string& address() const { return address_; }
    // This process's connection to the bus.
    QDBusConnection connection() const {
        return QDBusConnection::connectToBus(QString::fromStdString(address_), name_);
    }

    // python3-dbusmock with a template, as the bus's system or session side says.
    std::unique_ptr<BackgroundProcess> mock(const std::string& templateName,
                                            const QString& serviceName) const {
        auto process = std::make_unique<BackgroundProcess>(
            std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--template",
                                     templateName},
            Environment{{"PATH", "/usr/bin:/bin"},
                        {"HOME", directory_.path().string()},
                        {"DBUS_SYSTEM_BUS_ADDRESS", address_},
                        {"DBUS_SESSION_BUS_ADDRESS", address_}});
        const QDBusConnection bus = connection();
        if (!eventually([&] { return bus.interface()->isServiceRegistered(serviceName).value(); },
                        std::chrono::seconds(20))) {
            return nullptr;
        }
        return process;
    }

private:
    QString name_;
    TemporaryDirectory directory_{"/tmp/orlet-bus-"};
    std::unique_ptr<BackgroundProcess> daemon_;
    std::string address_;
};

} // namespace orlet::test
