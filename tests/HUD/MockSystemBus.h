#pragma once

#include "TemporaryDirectory.h"
#include "XDesktop.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QFile>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>

namespace orlet::test {

// One method of a mocked object: its name, argument and result signatures and the Python
// that runs when it is called.
struct MockMethod {
    QString name;
    QString in;
    QString out;
    QString code;
};

inline QDBusArgument& operator<<(QDBusArgument& argument, const MockMethod& method) {
    argument.beginStructure();
    argument << method.name << method.in << method.out << method.code;
    argument.endStructure();
    return argument;
}

inline const QDBusArgument& operator>>(const QDBusArgument& argument, MockMethod& method) {
    argument.beginStructure();
    argument >> method.name >> method.in >> method.out >> method.code;
    argument.endStructure();
    return argument;
}

} // namespace orlet::test

Q_DECLARE_METATYPE(orlet::test::MockMethod)

namespace orlet::test {

// A bus daemon of the test's own in place of the system bus, with python3-dbusmock playing
// the system's services on it. The daemon and every mock end with the object; the code under
// test gets connections of its own through connect().
class MockSystemBus {
public:
    static inline const QString mockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

    MockSystemBus() {
        qDBusRegisterMetaType<MockMethod>();
        qDBusRegisterMetaType<QList<MockMethod>>();
        const auto config = directory_.path() / "bus.conf";
        std::ofstream(config)
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
               "1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>session</type><listen>unix:dir="
            << directory_.path().string()
            << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
               "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/><allow own=\"*\"/>"
               "</policy></busconfig>\n";
        daemon_ = std::make_unique<BackgroundProcess>(
            std::vector<std::string>{"dbus-daemon", "--nofork", "--print-address=1",
                                     "--config-file=" + config.string()},
            Environment{{"PATH", "/usr/bin:/bin"}});
        if (daemon_->waitForOut("\n")) {
            address_ = daemon_->out().substr(0, daemon_->out().find('\n'));
            control_ = std::make_unique<QDBusConnection>(connect());
        }
    }

    ~MockSystemBus() {
        control_.reset();
        for (const QString& name : names_) {
            QDBusConnection::disconnectFromBus(name);
        }
        // The mocks before the daemon they talk to.
        mocks_.clear();
        daemon_.reset();
    }

    MockSystemBus(const MockSystemBus&) = delete;
    MockSystemBus& operator=(const MockSystemBus&) = delete;

    bool ready() const { return control_ && control_->isConnected(); }
    const std::string& address() const { return address_; }
    const std::filesystem::path& directory() const { return directory_.path(); }

    // A new connection of this process to the bus.
    QDBusConnection connect() {
        const QString name = QStringLiteral("orlet-mock-system-%1").arg(serial_++);
        names_.push_back(name);
        return QDBusConnection::connectToBus(QString::fromStdString(address_), name);
    }

    // Starts the dbusmock template `name` (its calls logged to a file of its own); whether
    // `service` came up on the bus.
    bool start(const std::string& name, const QString& service) {
        mocks_[name] = std::make_unique<BackgroundProcess>(
            std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--template", name,
                                     "--logfile", logPath(name)},
            Environment{{"PATH", "/usr/bin:/bin"},
                        {"HOME", directory_.path().string()},
                        {"DBUS_SYSTEM_BUS_ADDRESS", address_},
                        {"DBUS_SESSION_BUS_ADDRESS", address_}});
        return eventually(
            [&] { return control_->interface()->isServiceRegistered(service).value(); },
            std::chrono::seconds(20));
    }

    // Everything the mock `name` was asked, one line per call.
    std::string log(const std::string& name) const {
        QFile file(QString::fromStdString(logPath(name)));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }

    // A method call that must succeed; its reply.
    QDBusMessage call(const QString& service, const QString& path, const QString& interface,
                      const QString& method, const QVariantList& arguments = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        const QDBusMessage reply = control_->call(message);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << method.toStdString() << ": " << reply.errorMessage().toStdString();
        return reply;
    }

    // The mock's own control methods on `path`.
    QDBusMessage mock(const QString& service, const QString& path, const QString& method,
                      const QVariantList& arguments = {}) {
        return call(service, path, mockInterface, method, arguments);
    }

    void addObject(const QString& service, const QString& parent, const QString& path,
                   const QString& interface, const QVariantMap& properties,
                   const QList<MockMethod>& methods = {}) {
        mock(service, parent, QStringLiteral("AddObject"),
             {path, interface, properties, QVariant::fromValue(methods)});
    }

    void emitSignal(const QString& service, const QString& path, const QString& interface,
                    const QString& name, const QString& signature, const QVariantList& arguments) {
        QVariantList wrapped;
        for (const QVariant& argument : arguments) {
            wrapped << QVariant::fromValue(QDBusVariant(argument));
        }
        mock(service, path, QStringLiteral("EmitSignal"), {interface, name, signature, wrapped});
    }

private:
    std::string logPath(const std::string& name) const {
        return (directory_.path() / (name + ".log")).string();
    }

    static inline int serial_ = 0;
    TemporaryDirectory directory_{"/tmp/orlet-sysbus-"};
    std::unique_ptr<BackgroundProcess> daemon_;
    std::string address_;
    std::vector<QString> names_;
    std::unique_ptr<QDBusConnection> control_;
    std::map<std::string, std::unique_ptr<BackgroundProcess>> mocks_;
};

} // namespace orlet::test
