#include "FakeSystemSource.h"
#include "System/BatterySampler.h"
#include "System/CPUSampler.h"
#include "System/GPUSampler.h"
#include "System/LinuxSystemSource.h"
#include "System/MemorySampler.h"
#include "System/NetworkSampler.h"
#include "System/StorageSampler.h"
#include "TestNames.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace orlet {
namespace {

using namespace std::chrono_literals;
constexpr std::uint32_t top = std::numeric_limits<std::uint32_t>::max();
const Clock::TimePoint start = Clock::TimePoint{} + std::chrono::hours(1);

struct LoadCase {
    const char* sentence;
    CPUSampler::Ticks from;
    CPUSampler::Ticks to;
    std::optional<CPULoad> expected;
};

const LoadCase loadCases[] = {
    {"user, system and nice are busy, idle is not",
     {{100, 50, 800, 10}},
     {{130, 60, 860, 20}},
     CPULoad{50.0 / 110, {50.0 / 110}}},
    {"a counter that ran past 2^32 still gives its small step",
     {{top - 5, 0, 0, 0}},
     {{5, 0, 89, 0}},
     CPULoad{0.11, {0.11}}},
    {"an idle counter that stepped back counts nothing",
     {{100, 0, 500, 0}, {0, 0, 0, 0}},
     {{150, 0, 495, 0}, {0, 0, 50, 0}},
     CPULoad{0.5, {1.0, 0.0}}},
    {"cores whose counters did not move are idle",
     {{7, 7, 7, 7}, {1, 2, 3, 4}},
     {{7, 7, 7, 7}, {1, 2, 3, 4}},
     CPULoad{0.0, {0.0, 0.0}}},
    {"the total weighs each core by its ticks",
     {{0, 0, 0, 0}, {0, 0, 0, 0}},
     {{100, 0, 0, 0}, {0, 0, 300, 0}},
     CPULoad{0.25, {1.0, 0.0}}},
    {"a different processor count gives nothing",
     {{0, 0, 0, 0}},
     {{1, 0, 0, 0}, {1, 0, 0, 0}},
     std::nullopt},
    {"no processors give nothing", {}, {}, std::nullopt},
};

class CPULoadTest : public testing::TestWithParam<LoadCase> {};

TEST_P(CPULoadTest, LoadBetweenTwoReadings) {
    const std::optional<CPULoad> load = CPUSampler::load(GetParam().from, GetParam().to);
    ASSERT_EQ(load.has_value(), GetParam().expected.has_value());
    if (load) {
        EXPECT_NEAR(load->total, GetParam().expected->total, 1e-12);
        ASSERT_EQ(load->perCore.size(), GetParam().expected->perCore.size());
        for (std::size_t i = 0; i < load->perCore.size(); ++i) {
            EXPECT_NEAR(load->perCore[i], GetParam().expected->perCore[i], 1e-12);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CPULoadTest, testing::ValuesIn(loadCases), test::SentenceName());

TEST(CPUSamplerTest, FirstNothingThenLoadsAndAChangedCountStartsAfresh) {
    auto source = std::make_shared<test::FakeSystemSource>();
    CPUSampler sampler(source);
    const auto read = [&](CPUSampler::Ticks ticks) {
        source->change([&](auto& values) { values.ticks = ticks; });
        return sampler.sample();
    };
    EXPECT_EQ(read({{0, 0, 0, 0}}), std::nullopt);
    EXPECT_EQ(read({{10, 0, 30, 0}}), (CPULoad{0.25, {0.25}}));
    // A processor came online: nothing this time, but the reading is kept.
    EXPECT_EQ(read({{20, 0, 40, 0}, {0, 0, 0, 0}}), std::nullopt);
    EXPECT_EQ(read({{30, 0, 50, 0}, {0, 0, 10, 0}}), (CPULoad{10.0 / 30, {0.5, 0.0}}));
    // A failed read keeps the previous reading.
    source->change([](auto& values) { values.ticks.reset(); });
    EXPECT_EQ(sampler.sample(), std::nullopt);
    EXPECT_EQ(read({{40, 0, 50, 0}, {10, 0, 10, 0}}), (CPULoad{1.0, {1.0, 1.0}}));
}

struct ProcStatCase {
    const char* sentence;
    const char* text;
    std::optional<std::vector<CPUTicks>> expected;
};

const ProcStatCase procStatCases[] = {
    {"the aggregate line is left out and interrupts and steal are system time",
     "cpu  9 9 9 9 9 9 9 9 9 9\ncpu0 1 2 3 4 5 6 7 8 0 0\ncpu1 10 20 30 40\nintr 5 6\n",
     std::vector<CPUTicks>{{1, 3 + 6 + 7 + 8, 4 + 5, 2}, {10, 30, 40, 20}}},
    {"64-bit counters keep their low 32 bits", "cpu0 4294967301 0 0 0\n",
     std::vector<CPUTicks>{{5, 0, 0, 0}}},
    {"a core line with fewer than four counters is broken", "cpu0 1 2 3\n", std::nullopt},
    {"a counter that is no number is broken", "cpu0 1 2 x 4\n", std::nullopt},
    {"only the aggregate line names no processor", "cpu  1 2 3 4\n", std::nullopt},
    {"an empty file names no processor", "", std::nullopt},
};

class ProcStatTest : public testing::TestWithParam<ProcStatCase> {};

TEST_P(ProcStatTest, Parses) {
    EXPECT_EQ(LinuxSystemSource::ticksOfProcStat(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProcStatTest, testing::ValuesIn(procStatCases),
                         test::SentenceName());

struct MemoryCase {
    const char* sentence;
    VMCounters counters;
    std::uint64_t total;
    std::optional<int> pressure;
    MemoryStats expected;
};

const MemoryCase memoryCases[] = {
    {"app is internal less purgeable, cached is external plus purgeable",
     {.internal = 500,
      .purgeable = 100,
      .wired = 50,
      .compressed = 20,
      .external = 300,
      .swapUsed = 7},
     1000,
     1,
     {.total = 1000,
      .used = 470,
      .app = 400,
      .wired = 50,
      .compressed = 20,
      .cached = 400,
      .swapUsed = 7,
      .pressure = MemoryStats::Pressure::normal}},
    {"purgeable above internal leaves no app memory",
     {.internal = 100, .purgeable = 150, .wired = 10},
     1000,
     2,
     {.total = 1000,
      .used = 10,
      .app = 0,
      .wired = 10,
      .cached = 150,
      .pressure = MemoryStats::Pressure::warning}},
    {"used never exceeds physical memory",
     {.internal = 900, .wired = 200, .compressed = 100},
     1000,
     4,
     {.total = 1000,
      .used = 1000,
      .app = 900,
      .wired = 200,
      .compressed = 100,
      .pressure = MemoryStats::Pressure::critical}},
    {"a level of 3 is normal pressure", {}, 1000, 3, {.total = 1000}},
    {"no pressure reading is normal pressure", {}, 1000, std::nullopt, {.total = 1000}},
};

class MemoryStatsTest : public testing::TestWithParam<MemoryCase> {};

TEST_P(MemoryStatsTest, FromCounters) {
    EXPECT_EQ(MemorySampler::stats(GetParam().counters, GetParam().total, GetParam().pressure),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, MemoryStatsTest, testing::ValuesIn(memoryCases),
                         test::SentenceName());

TEST(MemoryPressureTest, RawLevels) {
    EXPECT_EQ(MemoryStats::pressureFromRaw(1), MemoryStats::Pressure::normal);
    EXPECT_EQ(MemoryStats::pressureFromRaw(2), MemoryStats::Pressure::warning);
    EXPECT_EQ(MemoryStats::pressureFromRaw(4), MemoryStats::Pressure::critical);
    EXPECT_EQ(MemoryStats::pressureFromRaw(3), std::nullopt);
    EXPECT_EQ(MemoryStats::pressureFromRaw(0), std::nullopt);
}

struct MeminfoCase {
    const char* sentence;
    const char* text;
    std::optional<VMCounters> expected;
};

const MeminfoCase meminfoCases[] = {
    {"what the kernel cannot hand out is used",
     "MemTotal: 1000 kB\nMemFree: 100 kB\nMemAvailable: 400 kB\nActive(file): 150 kB\n"
     "Inactive(file): 50 kB\nKReclaimable: 30 kB\nSUnreclaim: 20 kB\nKernelStack: 5 kB\n"
     "PageTables: 15 kB\nZswap: 60 kB\nSwapTotal: 500 kB\nSwapFree: 200 kB\n",
     VMCounters{.total = 1000 * 1024,
                .internal = 500 * 1024,
                .wired = 40 * 1024,
                .compressed = 60 * 1024,
                .external = 230 * 1024,
                .swapUsed = 300 * 1024}},
    {"old kernels without MemAvailable count free memory and caches as available",
     "MemTotal: 1000 kB\nMemFree: 100 kB\nActive(file): 150 kB\nInactive(file): 50 kB\n"
     "SReclaimable: 30 kB\n",
     VMCounters{.total = 1000 * 1024, .internal = 670 * 1024, .external = 230 * 1024}},
    {"swap free above swap total is no swap in use",
     "MemTotal: 1000 kB\nMemAvailable: 1000 kB\nSwapTotal: 10 kB\nSwapFree: 20 kB\n",
     VMCounters{.total = 1000 * 1024}},
    {"available above total is all available", "MemTotal: 1000 kB\nMemAvailable: 5000 kB\n",
     VMCounters{.total = 1000 * 1024}},
    {"no total is no reading", "MemFree: 100 kB\nMemAvailable: 400 kB\n", std::nullopt},
    {"a total that is no number is no reading", "MemTotal: lots kB\n", std::nullopt},
};

class MeminfoTest : public testing::TestWithParam<MeminfoCase> {};

TEST_P(MeminfoTest, Parses) {
    EXPECT_EQ(LinuxSystemSource::countersOfMeminfo(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, MeminfoTest, testing::ValuesIn(meminfoCases), test::SentenceName());

struct PressureCase {
    const char* sentence;
    const char* text;
    std::optional<int> expected;
};

const PressureCase pressureCases[] = {
    {"calm", "some avg10=0.00 avg60=0.00 avg300=0.00 total=0\nfull avg10=0.00 avg60=0 total=0\n",
     1},
    {"just below a tenth stalled", "some avg10=9.99 avg60=20 total=1\nfull avg10=9.99 total=1\n",
     1},
    {"some tasks stalled a tenth of the time", "some avg10=10.00 total=1\nfull avg10=0 total=1\n",
     2},
    {"all tasks stalled a tenth of the time", "some avg10=12.00 total=1\nfull avg10=10.00\n", 4},
    {"some tasks stalled 40 percent of the time", "some avg10=40.00 total=1\nfull avg10=2\n", 4},
    {"older kernels without a full line", "some avg10=15.00 avg60=0.00 avg300=0.00 total=0\n", 2},
    {"garbage is no reading", "nothing here\n", std::nullopt},
};

class PressureTest : public testing::TestWithParam<PressureCase> {};

TEST_P(PressureTest, Level) {
    EXPECT_EQ(LinuxSystemSource::pressureLevelOfPSI(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, PressureTest, testing::ValuesIn(pressureCases),
                         test::SentenceName());

struct RatesCase {
    const char* sentence;
    NetworkSampler::Counters from;
    NetworkSampler::Counters to;
    Clock::Duration elapsed;
    std::optional<NetworkRates> expected;
};

const RatesCase ratesCases[] = {
    {"bytes over seconds, summed over interfaces",
     {{"eth0", {1000, 500}}, {"wlan0", {0, 0}}},
     {{"eth0", {3000, 1500}}, {"wlan0", {2000, 500}}},
     2s,
     NetworkRates{2000, 750}},
    {"a counter that dropped gives 0 for its direction",
     {{"eth0", {5000, 500}}},
     {{"eth0", {1000, 1500}}},
     1s,
     NetworkRates{0, 1000}},
    {"an interface that went away leaves the others counted",
     {{"eth0", {1000, 1000}}, {"tun0", {900000, 900000}}},
     {{"eth0", {1500, 1100}}},
     1s,
     NetworkRates{500, 100}},
    {"an interface that just appeared counts from its next reading",
     {{"eth0", {1000, 1000}}},
     {{"eth0", {1000, 1000}}, {"usb0", {800000, 800000}}},
     1s,
     NetworkRates{0, 0}},
    {"no time passed gives nothing", {{"eth0", {0, 0}}}, {{"eth0", {10, 10}}}, 0s, std::nullopt},
};

class NetworkRatesTest : public testing::TestWithParam<RatesCase> {};

TEST_P(NetworkRatesTest, Rates) {
    EXPECT_EQ(NetworkSampler::rates(GetParam().from, GetParam().to, GetParam().elapsed),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, NetworkRatesTest, testing::ValuesIn(ratesCases),
                         test::SentenceName());

TEST(NetworkSamplerTest, FirstNothingThenRatesAndAFailedReadKeepsThePrevious) {
    auto source = std::make_shared<test::FakeSystemSource>();
    NetworkSampler sampler(source);
    const auto set = [&](std::optional<NetworkSampler::Counters> counters) {
        source->change([&](auto& values) { values.interfaces = counters; });
    };
    set(NetworkSampler::Counters{{"eth0", {1000, 0}}});
    EXPECT_EQ(sampler.sample(start), std::nullopt);
    set(std::nullopt);
    EXPECT_EQ(sampler.sample(start + 1s), std::nullopt);
    set(NetworkSampler::Counters{{"eth0", {5000, 400}}});
    EXPECT_EQ(sampler.sample(start + 2s), (NetworkRates{2000, 200}));
    // The same instant again: nothing, and the reading of 2 s stays the previous one.
    set(NetworkSampler::Counters{{"eth0", {9000, 400}}});
    EXPECT_EQ(sampler.sample(start + 2s), std::nullopt);
    EXPECT_EQ(sampler.sample(start + 4s), (NetworkRates{2000, 0}));
}

TEST(NetDevTest, HeadingsAreRequired) {
    EXPECT_EQ(LinuxSystemSource::interfacesOfNetDev("eth0: 1 2 3 4 5 6 7 8 9\n"), std::nullopt);
    EXPECT_EQ(LinuxSystemSource::interfacesOfNetDev("Inter-|\n face |\n"),
              (std::map<std::string, InterfaceTotals>{}));
}

TEST(StorageSamplerTest, ReadsAtMostEveryThirtySecondsAndKeepsTheLastGoodValue) {
    auto source = std::make_shared<test::FakeSystemSource>();
    StorageSampler sampler(source);
    // Nothing read yet and the read fails.
    EXPECT_EQ(sampler.sample(start), std::nullopt);
    source->change([](auto& values) { values.volume = StorageStats{100, 40}; });
    EXPECT_EQ(sampler.sample(start + 1s), (StorageStats{100, 40}));
    source->change([](auto& values) { values.volume = StorageStats{100, 30}; });
    EXPECT_EQ(sampler.sample(start + 30s), (StorageStats{100, 40}));
    EXPECT_EQ(source->volumeReads, 2);
    EXPECT_EQ(sampler.sample(start + 31s), (StorageStats{100, 30}));
    // A failed read gives the last good value and the next call tries again.
    source->change([](auto& values) { values.volume.reset(); });
    EXPECT_EQ(sampler.sample(start + 62s), (StorageStats{100, 30}));
    source->change([](auto& values) { values.volume = StorageStats{100, 20}; });
    EXPECT_EQ(sampler.sample(start + 63s), (StorageStats{100, 20}));
    EXPECT_EQ(source->volumeReads, 5);
}

struct GPUCase {
    const char* sentence;
    std::vector<double> percents;
    std::optional<double> expected;
};

const GPUCase gpuCases[] = {
    {"a percentage becomes a fraction", {37}, 0.37},
    {"the busiest of several accelerators counts", {12, 80, 40}, 0.8},
    {"above 100 is full", {250}, 1.0},
    {"below 0 is idle", {-5}, 0.0},
    {"a broken reading next to a good one is left out", {std::nan(""), 20}, 0.2},
    {"no accelerator gives nothing", {}, std::nullopt},
};

class GPUTest : public testing::TestWithParam<GPUCase> {};

TEST_P(GPUTest, Utilisation) {
    EXPECT_EQ(GPUSampler::utilisation(GetParam().percents), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, GPUTest, testing::ValuesIn(gpuCases), test::SentenceName());

PowerSource internal(double level, bool charging, bool ac, std::optional<int> toFull,
                     std::optional<int> toEmpty) {
    return {.isInternalBattery = true,
            .currentCapacity = level,
            .maxCapacity = 100,
            .isCharging = charging,
            .isOnACPower = ac,
            .minutesToFull = toFull,
            .minutesToEmpty = toEmpty};
}

struct BatteryCase {
    const char* sentence;
    std::vector<PowerSource> sources;
    std::optional<BatteryStatus> expected;
};

const BatteryCase batteryCases[] = {
    {"on battery the time to empty counts",
     {internal(55, false, false, 3, 95)},
     BatteryStatus{0.55, false, false, 95}},
    {"while charging the time to full counts",
     {internal(55, true, true, 45, 95)},
     BatteryStatus{0.55, true, true, 45}},
    {"plugged in but not charging has no time",
     {internal(80, false, true, 10, 95)},
     BatteryStatus{0.8, false, true, std::nullopt}},
    {"a time of -1 while still estimating is none",
     {internal(40, true, true, -1, 95)},
     BatteryStatus{0.4, true, true, std::nullopt}},
    {"a time of 0 is none",
     {internal(40, false, false, 5, 0)},
     BatteryStatus{0.4, false, false, std::nullopt}},
    {"a level above the maximum is full",
     {internal(104, false, false, std::nullopt, 30)},
     BatteryStatus{1.0, false, false, 30}},
    {"a mouse battery and a battery without a maximum are skipped for the first good one",
     {{.isInternalBattery = false, .currentCapacity = 90, .maxCapacity = 100},
      {.isInternalBattery = true, .currentCapacity = 90, .maxCapacity = 0},
      {.isInternalBattery = true, .maxCapacity = 100},
      internal(20, false, false, std::nullopt, 12),
      internal(70, false, false, std::nullopt, 1)},
     BatteryStatus{0.2, false, false, 12}},
    {"no source is no battery", {}, std::nullopt},
};

class BatteryTest : public testing::TestWithParam<BatteryCase> {};

TEST_P(BatteryTest, Status) {
    EXPECT_EQ(BatterySampler::status(GetParam().sources), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, BatteryTest, testing::ValuesIn(batteryCases), test::SentenceName());

} // namespace
} // namespace orlet
