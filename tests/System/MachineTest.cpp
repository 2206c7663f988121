#include "ChildProcess.h"
#include "System/CPUSampler.h"
#include "System/MemorySampler.h"
#include "System/StorageSampler.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// The samplers against the system's own tools on this very machine. Memory and load move
// while the tools run, so each comparison gets a second chance.

namespace orlet {
namespace {

using namespace std::chrono_literals;

std::map<std::string, std::string> toolEnvironment() {
    return {{"PATH", "/usr/bin:/bin"}, {"LC_ALL", "C"}};
}

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> result;
    for (std::string word; in >> word;) {
        result.push_back(word);
    }
    return result;
}

std::vector<std::string> lines(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

double relative(double a, double b) {
    return std::abs(a - b) / std::max(std::abs(b), 1.0);
}

template <typename Attempt> void withOneRetry(Attempt attempt) {
    if (!attempt(false)) {
        attempt(true);
    }
}

TEST(MachineTest, MemoryTotalAndAvailableMatchFree) {
    withOneRetry([](bool last) {
        const std::optional<MemoryStats> stats = MemorySampler().sample();
        const auto free = test::ChildProcess::run({"free", "-b"}, toolEnvironment());
        EXPECT_TRUE(stats);
        EXPECT_EQ(free.exitCode, 0);
        if (!stats || free.exitCode != 0) {
            return true;
        }
        // "Mem:  total used free shared buff/cache available"
        std::vector<std::string> mem;
        for (const std::string& line : lines(free.out)) {
            if (line.starts_with("Mem:")) {
                mem = words(line);
            }
        }
        EXPECT_GE(mem.size(), 7u) << free.out;
        if (mem.size() < 7) {
            return true;
        }
        const double total = std::stod(mem[1]);
        const double available = std::stod(mem[6]);
        const double ours = static_cast<double>(stats->total - stats->used);
        if (!last && (relative(stats->total, total) > 0.01 || relative(ours, available) > 0.01)) {
            return false;
        }
        EXPECT_LE(relative(stats->total, total), 0.01) << free.out;
        EXPECT_LE(relative(ours, available), 0.01) << "ours " << ours << "\n" << free.out;
        return true;
    });
}

TEST(MachineTest, StorageMatchesDf) {
    withOneRetry([](bool last) {
        const auto df = test::ChildProcess::run({"df", "-B1", "/"}, toolEnvironment());
        StorageSampler sampler;
        const std::optional<StorageStats> stats = sampler.sample(std::chrono::steady_clock::now());
        EXPECT_TRUE(stats);
        const std::vector<std::string> rows = lines(df.out);
        EXPECT_GE(rows.size(), 2u) << df.out;
        if (!stats || rows.size() < 2) {
            return true;
        }
        // "Filesystem 1B-blocks Used Available Use% Mounted on"
        const std::vector<std::string> row = words(rows[1]);
        EXPECT_GE(row.size(), 4u) << df.out;
        if (row.size() < 4) {
            return true;
        }
        const double total = std::stod(row[1]);
        const double available = std::stod(row[3]);
        if (!last && (relative(stats->total, total) > 0.01 ||
                      relative(stats->available, available) > 0.01)) {
            return false;
        }
        EXPECT_LE(relative(stats->total, total), 0.01) << df.out;
        EXPECT_LE(relative(stats->available, available), 0.01) << df.out;
        return true;
    });
}

// stress-ng in a process group of its own, ended with it.
class Stress {
public:
    explicit Stress(int seconds) {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setpgid(0, 0);
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            const std::string timeout = std::to_string(seconds) + "s";
            ::execlp("stress-ng", "stress-ng", "--cpu", "1", "--cpu-method", "int64", "--timeout",
                     timeout.c_str(), "--quiet", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (pid_ > 0) {
            ::setpgid(pid_, pid_);
        }
    }
    ~Stress() {
        if (pid_ > 0) {
            ::kill(-pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Stress(const Stress&) = delete;
    Stress& operator=(const Stress&) = delete;

private:
    pid_t pid_ = -1;
};

TEST(MachineTest, CPULoadMatchesVmstatUnderLoadOnOneCore) {
    Stress stress(10);
    // Time for the worker to get going.
    std::this_thread::sleep_for(300ms);
    withOneRetry([](bool last) {
        CPUSampler sampler;
        sampler.sample();
        const auto vmstat = test::ChildProcess::run({"vmstat", "1", "2"}, toolEnvironment());
        const std::optional<CPULoad> load = sampler.sample();
        EXPECT_TRUE(load);
        const std::vector<std::string> rows = lines(vmstat.out);
        EXPECT_GE(rows.size(), 4u) << vmstat.out;
        if (!load || rows.size() < 4) {
            return true;
        }
        // The second data line covers the one-second interval; idle and I/O wait are not
        // busy time.
        const std::vector<std::string> heading = words(rows[1]);
        const std::vector<std::string> values = words(rows.back());
        const auto column = [&](const std::string& name) {
            const auto at = std::find(heading.begin(), heading.end(), name);
            return at == heading.end() ||
                           static_cast<std::size_t>(at - heading.begin()) >= values.size()
                       ? 0.0
                       : std::stod(values[static_cast<std::size_t>(at - heading.begin())]);
        };
        const double theirs = 100 - column("id") - column("wa");
        const double ours = load->total * 100;
        // One of the cores is busy: the load cannot be near idle.
        EXPECT_GE(ours, 100.0 / static_cast<double>(load->perCore.size()) - 10);
        if (!last && std::abs(ours - theirs) > 5) {
            return false;
        }
        EXPECT_LE(std::abs(ours - theirs), 5.0) << "ours " << ours << "\n" << vmstat.out;
        return true;
    });
}

} // namespace
} // namespace orlet
