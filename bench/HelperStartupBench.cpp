// Wall time and peak memory of single helper runs, as a coding agent's hook pays them, next to
// /bin/true started the same way.
#include "FakeOrlet.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Sample {
    double milliseconds;
    long peakKilobytes;
};

const char* payload =
    R"({"session_id":"4f1c2a9e-77aa-4b7e-9d61-0c1f3b2a9d11","transcript_path":"/home/me/.claude/projects/-home-me-src-orlet/4f1c2a9e-77aa-4b7e-9d61-0c1f3b2a9d11.jsonl","cwd":"/home/me/src/orlet","permission_mode":"default","hook_event_name":"PreToolUse","tool_name":"Bash","tool_input":{"command":"cmake --build build -j2 && ctest --test-dir build --output-on-failure","description":"Build and run the tests","timeout":600000}})";

Sample runOnce(const std::vector<std::string>& argv, const std::string& home,
               const std::string& input) {
    int in[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        std::exit(1);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string homeVariable = "HOME=" + home;
    char* envp[] = {homeVariable.data(), nullptr};
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& arg : args) {
        argp.push_back(arg.data());
    }
    argp.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (::posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
    }
    ::close(in[0]);
    [[maybe_unused]] const ssize_t written = ::write(in[1], input.data(), input.size());
    ::close(in[1]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const auto end = std::chrono::steady_clock::now();
    posix_spawn_file_actions_destroy(&actions);
    return {std::chrono::duration<double, std::milli>(end - start).count(), usage.ru_maxrss};
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
    std::string pattern = "/tmp/orlet-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        return 1;
    }
    const std::string home = pattern;
    const std::vector<std::string> hook{ORLET_HELPER_PATH, "agent-hook", "claude"};
    std::printf("%d runs each\n", runs);
    report("/bin/true", {"/bin/true"}, home, runs);
    report("orlet agent-hook claude (absent)", hook, home, runs);
    {
        orlet::test::FakeOrlet orlet(home + "/Library/Application Support/Orlet/orlet.sock");
        report("/bin/true", {"/bin/true"}, home, runs);
        report("orlet agent-hook claude (present)", hook, home, runs);
    }
    fs::remove_all(home);
    return 0;
}
