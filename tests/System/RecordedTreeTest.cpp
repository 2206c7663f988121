#include "System/BatterySampler.h"
#include "System/CPUSampler.h"
#include "System/GPUSampler.h"
#include "System/LinuxSystemSource.h"
#include "System/MemorySampler.h"
#include "System/NetworkSampler.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"

#include <gtest/gtest.h>

namespace orlet {
namespace {

namespace fs = std::filesystem;

const fs::path fixtures = fs::path(ORLET_SOURCE_DIR) / "tests/System/fixtures";
constexpr std::uint64_t kB = 1024;

// A recorded machine copied where a test may move its counters on.
class RecordedMachine {
public:
    explicit RecordedMachine(const std::string& name) {
        fs::copy(fixtures / name, directory_.path(), fs::copy_options::recursive);
    }

    std::shared_ptr<const SystemSource> source() const {
        return std::make_shared<LinuxSystemSource>(
            LinuxSystemSource::Paths{.proc = directory_.path() / "proc",
                                     .sys = directory_.path() / "sys",
                                     .volume = directory_.path(),
                                     .useUPower = false,
                                     .useNVML = false});
    }

    // The files of the later reading replace those of the first.
    void moveOn() const {
        fs::copy(directory_.path() / "proc-later", directory_.path() / "proc",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }

    void remove(const fs::path& relative) const { fs::remove_all(directory_.path() / relative); }

private:
    test::TemporaryDirectory directory_;
};

struct MachineCase {
    const char* sentence;
    std::string machine;
    std::vector<double> perCore;
    double total;
    MemoryStats memory;
    std::optional<double> gpu;
    std::optional<BatteryStatus> battery;
};

std::vector<double> sixteenCores() {
    std::vector<double> loads{0.0};
    for (int i = 1; i < 16; ++i) {
        // Core 7's idle counter stepped back: its busy ticks fill the whole interval.
        loads.push_back(i == 7 ? 1.0 : 0.06 * i);
    }
    return loads;
}

const MachineCase machineCases[] = {
    {.sentence = "a two core laptop with a wrapping counter, a GPU and a battery",
     .machine = "two-core",
     .perCore = {80.0 / 200, 21.0 / 101},
     .total = 101.0 / 301,
     .memory = {.total = 8000000 * kB,
                .used = 5000000 * kB,
                .app = 4845000 * kB,
                .wired = 155000 * kB,
                .compressed = 0,
                .cached = 2900000 * kB,
                .swapUsed = 0,
                .pressure = MemoryStats::Pressure::warning},
     .gpu = 0.37,
     .battery =
         BatteryStatus{
             .level = 0.6, .isCharging = false, .isPluggedIn = false, .minutesRemaining = 180}},
    {.sentence = "a sixteen core desktop with a counter going backwards, zswap and no GPU",
     .machine = "sixteen-core",
     .perCore = sixteenCores(),
     .total = 720.0 / 1442,
     .memory = {.total = 65000000 * kB,
                .used = 63000000 * kB,
                .app = 59200000 * kB,
                .wired = 800000 * kB,
                .compressed = 3000000 * kB,
                .cached = 1800000 * kB,
                .swapUsed = 5000000 * kB,
                .pressure = MemoryStats::Pressure::critical},
     .gpu = std::nullopt,
     .battery = std::nullopt},
};

class RecordedMachineTest : public testing::TestWithParam<MachineCase> {};

TEST_P(RecordedMachineTest, ProcessorLoadComesFromTwoReadings) {
    const MachineCase& expected = GetParam();
    RecordedMachine machine(expected.machine);
    CPUSampler sampler(machine.source());
    EXPECT_EQ(sampler.sample(), std::nullopt);
    machine.moveOn();
    const std::optional<CPULoad> load = sampler.sample();
    ASSERT_TRUE(load);
    EXPECT_NEAR(load->total, expected.total, 1e-9);
    ASSERT_EQ(load->perCore.size(), expected.perCore.size());
    for (std::size_t i = 0; i < expected.perCore.size(); ++i) {
        EXPECT_NEAR(load->perCore[i], expected.perCore[i], 1e-9) << "core " << i;
    }
}

TEST_P(RecordedMachineTest, MemoryGPUAndBattery) {
    const MachineCase& expected = GetParam();
    RecordedMachine machine(expected.machine);
    EXPECT_EQ(MemorySampler(machine.source()).sample(), expected.memory);
    EXPECT_EQ(GPUSampler(machine.source()).sample(), expected.gpu);
    EXPECT_EQ(BatterySampler(machine.source()).sample(), expected.battery);
}

TEST_P(RecordedMachineTest, NothingWhereTheKernelFilesAreMissing) {
    RecordedMachine machine(GetParam().machine);
    machine.remove("proc");
    machine.remove("sys");
    CPUSampler cpu(machine.source());
    NetworkSampler network(machine.source());
    const auto start = Clock::TimePoint{} + std::chrono::hours(1);
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(cpu.sample(), std::nullopt);
        EXPECT_EQ(network.sample(start + std::chrono::seconds(pass)), std::nullopt);
    }
    EXPECT_EQ(MemorySampler(machine.source()).sample(), std::nullopt);
    EXPECT_EQ(GPUSampler(machine.source()).sample(), std::nullopt);
    EXPECT_EQ(BatterySampler(machine.source()).sample(), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Machines, RecordedMachineTest, testing::ValuesIn(machineCases),
                         test::SentenceName());

TEST(RecordedNetwork, AVanishedInterfaceAndAResetCounterDoNotHideTheRest) {
    RecordedMachine machine("two-core");
    NetworkSampler sampler(machine.source());
    const auto start = Clock::TimePoint{} + std::chrono::hours(1);
    EXPECT_EQ(sampler.sample(start), std::nullopt);
    // wlan0 went away, eth0 received 250000 bytes and its sent counter was reset; loopback
    // traffic is not network traffic.
    machine.moveOn();
    EXPECT_EQ(sampler.sample(start + std::chrono::seconds(2)), (NetworkRates{125000, 0}));
}

TEST(RecordedNetwork, EveryInterfaceButLoopbackIsCounted) {
    RecordedMachine machine("sixteen-core");
    const auto interfaces = machine.source()->readInterfaces();
    ASSERT_TRUE(interfaces);
    EXPECT_EQ(*interfaces, (std::map<std::string, InterfaceTotals>{
                               {"docker0", {300000, 700000}},
                               {"enp5s0", {18446744073709000000ull, 123456789012}},
                               {"vethab12cd", {700000, 300000}}}));
}

TEST(RecordedVolume, StatvfsOfTheVolumeOrNothing) {
    test::TemporaryDirectory directory;
    const auto read = [](const fs::path& volume) {
        return LinuxSystemSource({.volume = volume, .useUPower = false, .useNVML = false})
            .readVolume();
    };
    const std::optional<StorageStats> stats = read(directory.path());
    ASSERT_TRUE(stats);
    EXPECT_GT(stats->total, 0u);
    EXPECT_LE(stats->available, stats->total);
    EXPECT_EQ(read(directory.path() / "gone"), std::nullopt);
}

} // namespace
} // namespace orlet
