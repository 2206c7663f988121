#include "PrivateBus.h"

#include <QDBusConnectionInterface>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace orlet::test {

using namespace std::chrono_literals;

PrivateBus::PrivateBus() {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    groups_.push_back(
        spawn({"dbus-daemon", "--session", "--nofork", "--print-address=3"}, {}, pipe[1]));
    ::close(pipe[1]);
    // The daemon prints its address once it listens.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd fd{pipe[0], POLLIN, 0};
        if (::poll(&fd, 1, 100) > 0) {
            char buffer[256];
            const ssize_t got = ::read(pipe[0], buffer, sizeof buffer);
            if (got <= 0) {
                break;
            }
            line.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(pipe[0]);
    if (line.find('\n') == std::string::npos) {
        throw std::runtime_error("dbus-daemon gave no address");
    }
    address_ = line.substr(0, line.find('\n'));
    static int serial = 0;
    connectionName_ = QStringLiteral("orlet-test-bus-%1").arg(serial++);
    connection_ = QDBusConnection::connectToBus(QString::fromStdString(address_), connectionName_);
}

namespace {

void terminate(pid_t group) {
    ::kill(-group, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (::waitpid(group, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(-group, SIGKILL);
            ::waitpid(group, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
}

} // namespace

PrivateBus::~PrivateBus() {
    connection_ = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(connectionName_);
    // The programs on the bus first, the daemon last.
    for (auto group = groups_.rbegin(); group != groups_.rend(); ++group) {
        terminate(*group);
    }
}

pid_t PrivateBus::launch(const std::vector<std::string>& argv) {
    groups_.push_back(spawn(
        argv, {"DBUS_SESSION_BUS_ADDRESS=" + address_, "DBUS_SYSTEM_BUS_ADDRESS=" + address_}, -1));
    return groups_.back();
}

void PrivateBus::end(pid_t group) {
    if (std::erase(groups_, group) > 0) {
        terminate(group);
    }
}

bool PrivateBus::waitForName(const QString& name) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (connection_.interface()->isServiceRegistered(name)) {
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

pid_t PrivateBus::spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                        int addressPipe) {
    std::vector<std::string> environment = env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (!text.starts_with("DBUS_SESSION_BUS_ADDRESS=") &&
            !text.starts_with("DBUS_SYSTEM_BUS_ADDRESS=")) {
            environment.emplace_back(text);
        }
    }
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& arg : args) {
        argp.push_back(arg.data());
    }
    argp.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        if (addressPipe == 3) {
            ::fcntl(3, F_SETFD, 0);
        } else if (addressPipe >= 0) {
            ::dup2(addressPipe, 3);
        }
        ::execvpe(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid);
    return pid;
}

} // namespace orlet::test
