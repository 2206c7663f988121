#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <optional>
#include <sys/prctl.h>
#include <unistd.h>

namespace orlet::test {

// Runs the main thread's event loop until `done` holds or the time is up. D-Bus replies and
// child output arrive through it. The limit is generous: peers start slowly on a loaded machine.
template <typename Predicate>
bool processUntil(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const QDeadlineTimer deadline(limit);
    QTimer tick;
    tick.start(10);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

// A program the test talks to through its standard input and output. It runs in a process
// group of its own, which goes with this object, and it dies with the test process.
class Peer {
public:
    Peer(const QString& program, const QStringList& arguments,
         const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        process_.setProgram(program);
        process_.setArguments(arguments);
        process_.setProcessEnvironment(environment);
        process_.setChildProcessModifier([] {
            ::setpgid(0, 0);
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        });
        QObject::connect(&process_, &QProcess::readyReadStandardOutput,
                         [this] { out_ += process_.readAllStandardOutput(); });
        process_.start();
    }
    ~Peer() {
        if (const qint64 pid = process_.processId(); pid > 0) {
            ::kill(-static_cast<pid_t>(pid), SIGTERM);
            if (!process_.waitForFinished(5000)) {
                ::kill(-static_cast<pid_t>(pid), SIGKILL);
                process_.waitForFinished(5000);
            }
        }
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool started() { return process_.waitForStarted(10000); }
    void write(const QByteArray& line) { process_.write(line + "\n"); }
    void closeInput() { process_.closeWriteChannel(); }
    const QByteArray& out() const { return out_; }
    bool waitForOut(const QByteArray& text) {
        return processUntil([&] { return out_.contains(text); });
    }
    QProcess& process() { return process_; }

private:
    QProcess process_;
    QByteArray out_;
};

// A session bus of the test's own.
class PrivateBus {
public:
    PrivateBus()
        : daemon_(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")}) {
        if (daemon_.started() && daemon_.waitForOut("\n")) {
            address_ = QString::fromUtf8(daemon_.out()).section(QLatin1Char('\n'), 0, 0).trimmed();
        }
    }

    // Empty when the daemon could not start.
    const QString& address() const { return address_; }

    QProcessEnvironment environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
        return environment;
    }

private:
    Peer daemon_;
    QString address_;
};

} // namespace orlet::test
