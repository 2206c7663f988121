// Wall time and peak memory of single helper runs, as a coding agent's hook pays them, next to
// /bin/true started the same way.
#include "FakeOrlet.h"
#include "TemporaryDirectory.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Sample {
    double milliseconds;
    long peakKilobytes;
};

const char* payload =
    R"({"session_id":"4f1c2a9e-77aa-4b7e-9d61-0c1f3b2a9d11","transcript_path":"/home/me/.claude/projects/-home-me-src-orlet/4f1c2a9e-77aa-4b7e-9d61-0c1f3b2a9d11.jsonl","cwd":"/home/me/src/orlet","permission_mode":"default","hook_event_name":"PreToolUse","tool_name":"Bash","tool_input":{"command":"cmake --build build -j2 && ctest --test-dir build --output-on-failure","description":"Build and run the tests","timeout":600000}})";

// Through the probe, which measures the command from a fresh process of its own.
Sample runOnce(const std::vector<std::string>& argv, const std::string& home,
               const std::string& input) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
        std::exit(1);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::string homeVariable = "HOME=" + home;
    char* envp[] = {homeVariable.data(), nullptr};
    std::vector<std::string> args = argv;
    args.insert(args.begin(), ORLET_RSS_PROBE);
    std::vector<char*> argp;
    for (std::string& arg : args) {
        argp.push_back(arg.data());
    }
    argp.push_back(nullptr);

    pid_t pid = 0;
    if (::posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    [[maybe_unused]] const ssize_t written = ::write(in[1], input.data(), input.size());
    ::close(in[1]);
    char buffer[128] = {};
    [[maybe_unused]] const ssize_t count = ::read(out[0], buffer, sizeof buffer - 1);
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    long micros = 0, kilobytes = 0;
    if (std::sscanf(buffer, "%ld %ld", &micros, &kilobytes) != 2) {
        std::fprintf(stderr, "the probe failed\n");
        std::exit(1);
    }
    return {static_cast<double>(micros) / 1000.0, kilobytes};
}

void report(const char* name, const std::vector<std::string>& argv, const std::string& home,
            int runs) {
    std::vector<Sample> samples;
    for (int i = 0; i < runs; ++i) {
        samples.push_back(runOnce(argv, home, payload));
    }
    std::vector<double> times;
    long peak = 0;
    for (const Sample& sample : samples) {
        times.push_back(sample.milliseconds);
        peak = std::max(peak, sample.peakKilobytes);
    }
    std::sort(times.begin(), times.end());
    std::printf("%-36s median %6.3f ms   p90 %6.3f ms   max %6.3f ms   peak RSS %5.2f MB\n", name,
                times[times.size() / 2], times[times.size() * 9 / 10], times.back(),
                static_cast<double>(peak) / 1024.0);
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 100;
    std::signal(SIGPIPE, SIG_IGN); // /bin/true does not read the payload
    const orlet::test::TemporaryDirectory directory;
    const std::string home = directory.path().string();
    const std::vector<std::string> hook{ORLET_HELPER_PATH, "agent-hook", "claude"};
    std::printf("%d runs each\n", runs);
    report("/bin/true", {"/bin/true"}, home, runs);
    report("orlet agent-hook claude (absent)", hook, home, runs);
    {
        orlet::test::FakeOrlet orlet(home + "/Library/Application Support/Orlet/orlet.sock");
        report("/bin/true", {"/bin/true"}, home, runs);
        report("orlet agent-hook claude (present)", hook, home, runs);
    }
    return 0;
}
