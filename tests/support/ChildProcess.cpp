#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace orlet::test {

ChildProcess::Result ChildProcess::run(const std::vector<std::string>& argv,
                                       const std::map<std::string, std::string>& environment,
                                       const std::string& input, bool keepInputOpen) {
    // A child may exit without reading its input; that is its business, not a reason to die.
    ::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
        ::pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);

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

    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    if (error != 0) {
        ::close(in[1]);
        ::close(out[0]);
        ::close(err[0]);
        throw std::runtime_error("cannot start " + argv.front());
    }

    Result result;
    std::size_t written = 0;
    int inFD = in[1];
    int heldOpen = -1; // a writer that never writes nor closes
    if (input.empty()) {
        if (keepInputOpen) {
            heldOpen = inFD;
        } else {
            ::close(inFD);
        }
        inFD = -1;
    } else {
        ::fcntl(inFD, F_SETFL, O_NONBLOCK);
    }
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen || inFD >= 0) {
        pollfd fds[3] = {{outOpen ? out[0] : -1, POLLIN, 0},
                         {errOpen ? err[0] : -1, POLLIN, 0},
                         {inFD, POLLOUT, 0}};
        if (::poll(fds, 3, -1) < 0 && errno != EINTR) {
            break;
        }
        char buffer[65536];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && fds[i].revents != 0) {
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
                } else if (n == 0 || errno != EINTR) {
                    (i == 0 ? outOpen : errOpen) = false;
                }
            }
        }
        if (inFD >= 0 && fds[2].revents != 0) {
            const ssize_t n = ::write(inFD, input.data() + written, input.size() - written);
            if (n > 0) {
                written += static_cast<std::size_t>(n);
            }
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == input.size()) {
                ::close(inFD);
                inFD = -1;
            }
        }
    }
    ::close(out[0]);
    ::close(err[0]);
    if (heldOpen >= 0) {
        ::close(heldOpen);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    } else {
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

} // namespace orlet::test
