#include "PipedProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orlet::test {

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::map<std::string, std::string>
environmentWith(const std::map<std::string, std::string>& changes) {
    std::map<std::string, std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::size_t equals = text.find('=');
        if (equals != std::string::npos) {
            environment[text.substr(0, equals)] = text.substr(equals + 1);
        }
    }
    for (const auto& [key, value] : changes) {
        if (value.empty()) {
            environment.erase(key);
        } else {
            environment[key] = value;
        }
    }
    return environment;
}

PipedProcess::PipedProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& environment) {
    ::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
        ::pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> envStrings;
    for (const auto& [key, value] : environment) {
        envStrings.push_back(key + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& entry : envStrings) {
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
    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        ::setpgid(0, 0);
        // Should the test process die, its peers go with it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::signal(SIGPIPE, SIG_DFL);
        ::execvpe(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    ::setpgid(pid_, pid_);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    input_ = in[1];
    reader_ = std::thread([this, outFD = out[0], errFD = err[0]] { collect(outFD, errFD); });
}

PipedProcess::~PipedProcess() {
    closeInput();
    if (!status_) {
        ::kill(-pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    } else {
        ::kill(-pid_, SIGKILL); // anything the program left behind in its group
    }
    reader_.join();
}

void PipedProcess::writeLine(const std::string& text) {
    const std::string line = text + "\n";
    std::size_t done = 0;
    while (input_ >= 0 && done < line.size()) {
        const ssize_t count = ::write(input_, line.data() + done, line.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        done += static_cast<std::size_t>(count);
    }
}

void PipedProcess::closeInput() {
    if (input_ >= 0) {
        ::close(input_);
        input_ = -1;
    }
}

void PipedProcess::kill(int signal) const {
    ::kill(pid_, signal);
}

std::vector<std::string> PipedProcess::lines() const {
    const std::lock_guard lock(mutex_);
    return lines_;
}

std::string PipedProcess::err() const {
    const std::lock_guard lock(mutex_);
    return err_;
}

bool PipedProcess::waitForLines(std::size_t count, std::chrono::milliseconds timeout) const {
    return eventually([&] { return lines().size() >= count; }, timeout);
}

std::size_t PipedProcess::settle(std::chrono::milliseconds quiet) const {
    eventually(
        [&] {
            const std::lock_guard lock(mutex_);
            return std::chrono::steady_clock::now() - lastLine_ > quiet;
        },
        std::chrono::seconds(30));
    return lines().size();
}

std::optional<int> PipedProcess::waitForExit(std::chrono::milliseconds timeout) {
    if (status_) {
        return status_;
    }
    eventually(
        [&] {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            return status_.has_value();
        },
        timeout);
    return status_;
}

void PipedProcess::collect(int outFD, int errFD) {
    pollfd fds[2] = {{outFD, POLLIN, 0}, {errFD, POLLIN, 0}};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        for (pollfd& fd : fds) {
            if (fd.fd < 0 || fd.revents == 0) {
                continue;
            }
            const ssize_t count = ::read(fd.fd, buffer, sizeof buffer);
            if (count <= 0) {
                ::close(fd.fd);
                fd.fd = -1;
                --open;
                continue;
            }
            const std::lock_guard lock(mutex_);
            if (fd.fd == errFD) {
                err_.append(buffer, static_cast<std::size_t>(count));
                continue;
            }
            pending_.append(buffer, static_cast<std::size_t>(count));
            for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
                lines_.push_back(pending_.substr(0, end));
                pending_.erase(0, end + 1);
                lastLine_ = std::chrono::steady_clock::now();
            }
        }
    }
}

} // namespace orlet::test
