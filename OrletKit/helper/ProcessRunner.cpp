#include "OrletKit/helper/ProcessRunner.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orlet {
namespace {

std::atomic<pid_t> child{0};

// Signals sent to the helper alone (kill, a service manager, a closed terminal) reach the
// command too; the terminal already sends ^C and ^\ to both, so those are only ignored here.
constexpr int forwarded[] = {SIGTERM, SIGHUP, SIGUSR1, SIGUSR2, SIGALRM};
constexpr int ignored[] = {SIGINT, SIGQUIT};

void forward(int signal) {
    if (const pid_t pid = child.load(); pid > 0) {
        ::kill(pid, signal);
    }
}

} // namespace

ProcessRunner::Outcome ProcessRunner::run(const std::vector<std::string>& command,
                                          const std::function<void()>& started) {
    Outcome outcome;
    if (command.empty()) {
        outcome.exitCode = 127;
        outcome.error = "no command given";
        return outcome;
    }
    std::vector<char*> argv;
    argv.reserve(command.size() + 1);
    for (const std::string& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);

    // The child starts with default dispositions for every signal the helper changes.
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : forwarded) {
        sigaddset(&defaults, signal);
    }
    for (int signal : ignored) {
        sigaddset(&defaults, signal);
    }
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    struct sigaction previous[std::size(forwarded) + std::size(ignored)];
    std::size_t index = 0;
    for (int signal : forwarded) {
        struct sigaction action {};
        action.sa_handler = forward;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(signal, &action, &previous[index++]);
    }
    for (int signal : ignored) {
        struct sigaction action {};
        action.sa_handler = SIG_IGN;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, &previous[index++]);
    }

    // A signal that arrives while the child is being created waits until its pid is known.
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signal : forwarded) {
        sigaddset(&blocked, signal);
    }
    sigset_t mask;
    ::sigprocmask(SIG_BLOCK, &blocked, &mask);
    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, argv[0], nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (error == 0) {
        child.store(pid);
    }
    ::sigprocmask(SIG_SETMASK, &mask, nullptr);
    if (error != 0) {
        outcome.exitCode = (error == ENOENT) ? 127 : 126;
        outcome.error = std::string("cannot run ") + command.front() + ": " + std::strerror(error);
    } else {
        outcome.started = true;
        if (started) {
            started();
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        child.store(0);
        if (WIFSIGNALED(status)) {
            outcome.signal = WTERMSIG(status);
        } else {
            outcome.exitCode = WEXITSTATUS(status);
        }
    }

    index = 0;
    for (int signal : forwarded) {
        ::sigaction(signal, &previous[index++], nullptr);
    }
    for (int signal : ignored) {
        ::sigaction(signal, &previous[index++], nullptr);
    }
    return outcome;
}

void ProcessRunner::exitLike(const Outcome& outcome) {
    if (outcome.signal != 0) {
        // Die of the same signal so the caller's shell sees it, without leaving a core file of
        // the helper for the command's crash.
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        std::signal(outcome.signal, SIG_DFL);
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, outcome.signal);
        ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
        ::raise(outcome.signal);
        _exit(128 + outcome.signal);
    }
    std::exit(outcome.exitCode);
}

} // namespace orlet
