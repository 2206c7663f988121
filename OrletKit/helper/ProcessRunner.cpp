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

bool isIgnored(const struct sigaction& action) {
    return action.sa_handler == SIG_IGN;
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

    // What we were started with, so the command starts with the same: a signal ignored by our
    // caller (nohup, a background job) stays ignored, everything else gets its default.
    struct Saved {
        int signal;
        struct sigaction action;
    };
    std::vector<Saved> saved;
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal :
         {SIGTERM, SIGHUP, SIGUSR1, SIGUSR2, SIGALRM, SIGINT, SIGQUIT, SIGPIPE, SIGCHLD}) {
        struct sigaction current {};
        ::sigaction(signal, nullptr, &current);
        saved.push_back({signal, current});
        if (!isIgnored(current) || signal == SIGPIPE || signal == SIGCHLD) {
            sigaddset(&defaults, signal);
        }
    }
    const auto inheritedIgnore = [&](int signal) {
        for (const Saved& entry : saved) {
            if (entry.signal == signal) {
                return isIgnored(entry.action);
            }
        }
        return false;
    };

    // An ignored SIGCHLD would make the kernel reap the command before we can read its status.
    std::signal(SIGCHLD, SIG_DFL);
    for (int signal : forwarded) {
        if (inheritedIgnore(signal)) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = forward;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(signal, &action, nullptr);
    }
    for (int signal : ignored) {
        std::signal(signal, SIG_IGN);
    }

    // A signal that arrives while the child is being created waits until its pid is known.
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signal : forwarded) {
        sigaddset(&blocked, signal);
    }
    sigset_t mask;
    ::sigprocmask(SIG_BLOCK, &blocked, &mask);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &mask);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
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
        // Wait without reaping, so the pid cannot be reused while a signal is still forwarded
        // to it; then stop forwarding and reap.
        siginfo_t info{};
        while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 &&
               errno == EINTR) {
        }
        ::sigprocmask(SIG_BLOCK, &blocked, nullptr);
        child.store(0);
        ::sigprocmask(SIG_SETMASK, &mask, nullptr);
        int status = 0;
        pid_t reaped = -1;
        while ((reaped = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
        }
        if (reaped != pid) {
            outcome.exitCode = 127;
            outcome.error =
                std::string("lost track of ") + command.front() + ": " + std::strerror(errno);
        } else if (WIFSIGNALED(status)) {
            outcome.signal = WTERMSIG(status);
        } else {
            outcome.exitCode = WEXITSTATUS(status);
        }
    }

    for (const Saved& entry : saved) {
        ::sigaction(entry.signal, &entry.action, nullptr);
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
