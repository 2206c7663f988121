#include "HUD/AirPodsMonitor.h"
#include "HUD/AlertMonitor.h"
#include "HUD/PowerMonitor.h"
#include "HUDFakes.h"
#include "Platform/DefaultsStore.h"
#include "Platform/ManualClock.h"
#include "QtTestSupport.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"

#include <gtest/gtest.h>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using Severity = TransientActivity::Severity;
using Reading = AlertSampler::Reading;

constexpr std::optional<int> none = std::nullopt;

BatteryStatus onBattery(double level) {
    return BatteryStatus{level, false, false, std::nullopt};
}
BatteryStatus plugged(double level, std::optional<int> minutes = std::nullopt) {
    return BatteryStatus{level, true, true, minutes};
}
TransientActivity batteryAlert(const char* text, Severity severity) {
    return TransientActivity::alert("battery.25percent", text, severity);
}

// ---- Power

struct PowerCase {
    const char* sentence;
    std::optional<BatteryStatus> from;
    std::optional<BatteryStatus> to;
    std::optional<TransientActivity> event;
};

class PowerEvent : public testing::TestWithParam<PowerCase> {};

TEST_P(PowerEvent, AnnouncesChargingAndThresholdCrossings) {
    EXPECT_EQ(PowerMonitor::event(GetParam().from, GetParam().to), GetParam().event);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PowerEvent,
    testing::Values(
        PowerCase{"falling to twenty warns", onBattery(0.25), onBattery(0.20),
                  batteryAlert("20%", Severity::warning)},
        PowerCase{"falling through both thresholds is only critical", onBattery(0.21),
                  onBattery(0.09), batteryAlert("9%", Severity::critical)},
        PowerCase{"falling to ten from eleven is critical", onBattery(0.11), onBattery(0.10),
                  batteryAlert("10%", Severity::critical)},
        PowerCase{"the percent is rounded", onBattery(0.3), onBattery(0.195),
                  batteryAlert("20%", Severity::warning)},
        PowerCase{"already below stays quiet", onBattery(0.20), onBattery(0.19), std::nullopt},
        PowerCase{"rising through a threshold stays quiet", onBattery(0.09), onBattery(0.25),
                  std::nullopt},
        PowerCase{"plugging in announces charging", onBattery(0.55), plugged(0.55, 45),
                  TransientActivity::charging(0.55, 45)},
        PowerCase{"charging without an estimate", onBattery(0.30), plugged(0.30),
                  TransientActivity::charging(0.30, std::nullopt)},
        PowerCase{"staying plugged in is quiet", plugged(0.5), plugged(0.6), std::nullopt},
        PowerCase{"the first sample never announces", std::nullopt, plugged(0.5), std::nullopt},
        PowerCase{"the first sample low is quiet", std::nullopt, onBattery(0.05), std::nullopt},
        PowerCase{"a battery that went away is quiet", onBattery(0.3), std::nullopt, std::nullopt},
        PowerCase{"unplugging at a low level is quiet", plugged(0.15), onBattery(0.15),
                  std::nullopt}),
    test::SentenceName());

TEST(PowerMonitorTest, EachNotificationComparesWithThePreviousSampleWhateverItGave) {
    std::deque<std::optional<BatteryStatus>> samples{onBattery(0.5),   plugged(0.5, 60),
                                                     plugged(0.5, 59), onBattery(0.21),
                                                     onBattery(0.2),   onBattery(0.2)};
    test::FakePowerNotifications notifications;
    PowerMonitor monitor(
        [&samples] {
            auto next = samples.front();
            samples.pop_front();
            return next;
        },
        notifications);
    std::vector<TransientActivity> events;
    monitor.onEvent = [&events](const TransientActivity& event) { events.push_back(event); };
    monitor.start();
    for (int i = 0; i < 5; ++i) {
        notifications.changed();
    }
    EXPECT_EQ(events, (std::vector{TransientActivity::charging(0.5, 60),
                                   batteryAlert("20%", Severity::warning)}));
}

TEST(PowerMonitorTest, WithoutABatteryNothingIsWatched) {
    test::FakePowerNotifications notifications;
    PowerMonitor monitor([] { return std::nullopt; }, notifications);
    monitor.start();
    EXPECT_FALSE(notifications.changed);
}

// ---- Load and disk

class AlertMonitorTest : public testing::Test {
protected:
    AlertMonitorTest() {
        monitor.onEvent = [this](const TransientActivity& event) { events.push_back(event); };
    }

    // Runs `rounds` sampling rounds of 10 seconds.
    void rounds(int count) { clock.advance(count * AlertMonitor::interval); }

    static TransientActivity cpu(const char* text) {
        return TransientActivity::alert("flame.fill", text, Severity::warning);
    }

    ManualClock clock;
    test::RecordedAlertSampler sampler;
    AlertMonitor monitor{clock, sampler, [](std::uint64_t bytes) {
                             return QString::number(bytes / 1'000'000'000) + " GB";
                         }};
    std::vector<TransientActivity> events;
};

struct LoadCase {
    const char* sentence;
    std::vector<std::optional<double>> loads; ///< one per round after the first
    int firesAfter;                           ///< 0: never
    const char* text;
};

class SustainedLoad : public AlertMonitorTest, public testing::WithParamInterface<LoadCase> {};

TEST_P(SustainedLoad, FiresOnceWhenTheStreakReachesThree) {
    sampler.readings.push_back(Reading{}); // the first round has no previous counters
    for (const auto load : GetParam().loads) {
        sampler.readings.push_back(Reading{load, std::nullopt});
    }
    monitor.start();
    rounds(1);
    for (std::size_t i = 0; i < GetParam().loads.size(); ++i) {
        rounds(1);
        const bool due =
            GetParam().firesAfter != 0 && static_cast<int>(i) + 1 >= GetParam().firesAfter;
        ASSERT_EQ(events.size(), due ? 1u : 0u) << "after load sample " << i + 1;
    }
    if (GetParam().firesAfter != 0) {
        EXPECT_EQ(events.front(), cpu(GetParam().text));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SustainedLoad,
    testing::Values(
        LoadCase{"three high samples fire on the third", {0.9, 0.9, 0.912}, 3, "CPU 91%"},
        LoadCase{"a dip restarts the count", {0.9, 0.8, 0.9, 0.9, 0.9}, 5, "CPU 90%"},
        LoadCase{"exactly the threshold counts", {0.85, 0.85, 0.85}, 3, "CPU 85%"},
        LoadCase{
            "a failed read leaves the streak alone", {0.9, std::nullopt, 0.9, 0.95}, 4, "CPU 95%"},
        LoadCase{"staying high fires once", {0.9, 0.9, 0.9, 0.99, 0.99, 0.99, 0.99}, 3, "CPU 90%"},
        LoadCase{"just below never fires", {0.849, 0.849, 0.849, 0.849}, 0, ""}),
    test::SentenceName());

TEST_F(AlertMonitorTest, SamplesEveryTenSecondsAndStorageEveryTenMinutes) {
    monitor.start();
    clock.advance(9999ms);
    EXPECT_TRUE(sampler.storageAsked.empty());
    rounds(121);
    ASSERT_EQ(sampler.storageAsked.size(), 121u);
    for (std::size_t i = 0; i < sampler.storageAsked.size(); ++i) {
        EXPECT_EQ(sampler.storageAsked[i], i % 60 == 0) << "round " << i;
    }
}

TEST_F(AlertMonitorTest, LowDiskAlertsWithAQuietTimeOfFifteenMinutes) {
    for (int i = 0; i < 200; ++i) {
        sampler.readings.push_back(Reading{std::nullopt, 9'999'999'999});
    }
    monitor.start();
    rounds(1);
    const auto disk =
        TransientActivity::alert("internaldrive.fill", "9 GB free", Severity::critical);
    EXPECT_EQ(events, std::vector{disk});
    rounds(60); // ten minutes later: still quiet
    EXPECT_EQ(events.size(), 1u);
    rounds(60); // twenty minutes after the first
    EXPECT_EQ(events, (std::vector{disk, disk}));
}

TEST_F(AlertMonitorTest, TenGigabytesFreeIsEnough) {
    sampler.readings.push_back(Reading{std::nullopt, 10'000'000'000});
    monitor.start();
    rounds(1);
    EXPECT_TRUE(events.empty());
}

TEST_F(AlertMonitorTest, CancellingStopsSamplingAndTheStreakSurvivesARestart) {
    sampler.readings = {Reading{}, Reading{0.9, std::nullopt}, Reading{0.9, std::nullopt},
                        Reading{0.9, std::nullopt}};
    monitor.start();
    rounds(3);
    monitor.cancel();
    rounds(10);
    EXPECT_EQ(sampler.storageAsked.size(), 3u);
    EXPECT_EQ(monitor.cpuRule().streak, 2);
    monitor.start();
    rounds(1);
    EXPECT_EQ(events, std::vector{cpu("CPU 90%")});
}

TEST_F(AlertMonitorTest, TheQuietTimeIsPerAlert) {
    monitor.fire("cpu", cpu("CPU 90%"));
    clock.advance(899s);
    monitor.fire("cpu", cpu("CPU 95%"));
    monitor.fire("disk", cpu("other"));
    clock.advance(1s);
    monitor.fire("cpu", cpu("CPU 99%"));
    EXPECT_EQ(events, (std::vector{cpu("CPU 90%"), cpu("other"), cpu("CPU 99%")}));
}

// ---- Headphones

class AirPodsMonitorTest : public testing::Test {
protected:
    AirPodsMonitorTest() {
        defaults.set("airpods.enabled", true);
        monitor.onBattery = [this](const HeadphoneBattery& battery) { shown.push_back(battery); };
        monitor.start();
    }

    test::TemporaryDirectory directory;
    DefaultsStore defaults{QString::fromStdString((directory.path() / "defaults.json").string())};
    ManualClock clock;
    test::FakeHeadphoneSource source;
    AirPodsMonitor monitor{clock, defaults, source};
    std::vector<HeadphoneBattery> shown;
    const HeadphoneSource::Device buds{"buds", QStringLiteral("AA:BB:CC:DD:EE:FF"),
                                       QStringLiteral("Buds")};
};

TEST_F(AirPodsMonitorTest, ReadsAfterTwoSixAndFourteenSecondsThenGivesUp) {
    source.connect(buds);
    clock.advance(1999ms);
    EXPECT_TRUE(source.reads.empty());
    clock.advance(1ms);
    EXPECT_EQ(source.reads.size(), 1u);
    clock.advance(4s);
    EXPECT_EQ(source.reads.size(), 2u);
    clock.advance(7999ms);
    EXPECT_EQ(source.reads.size(), 2u);
    clock.advance(1ms);
    EXPECT_EQ(source.reads.size(), 3u);
    EXPECT_EQ(monitor.pendingCount(), 0u);
    clock.advance(1h);
    EXPECT_EQ(source.reads.size(), 3u);
    EXPECT_TRUE(shown.empty());
}

TEST_F(AirPodsMonitorTest, ALevelThatArrivesLateIsShownOnce) {
    source.connect(buds);
    clock.advance(2s);
    source.levels["buds"] = {{HeadphoneSource::single, 64.0}};
    clock.advance(1h);
    EXPECT_EQ(source.reads.size(), 2u);
    EXPECT_EQ(shown, (std::vector{HeadphoneBattery{"Buds", none, none, none, 64}}));
}

TEST_F(AirPodsMonitorTest, ASecondConnectWithinTwoSecondsGivesOneReadSequence) {
    source.connect(buds);
    clock.advance(1s);
    source.connect(buds);
    clock.advance(1s);
    EXPECT_TRUE(source.reads.empty());
    clock.advance(1h);
    EXPECT_EQ(source.reads.size(), 3u);
}

TEST_F(AirPodsMonitorTest, DevicesWithoutAnAddressAreReadSeparately) {
    HeadphoneSource::Device first{"one", std::nullopt, std::nullopt};
    HeadphoneSource::Device second{"two", std::nullopt, std::nullopt};
    source.levels["one"] = {{HeadphoneSource::single, 30}};
    source.levels["two"] = {{HeadphoneSource::single, 40}};
    source.connect(first);
    source.connect(second);
    clock.advance(2s);
    EXPECT_EQ(shown, (std::vector{HeadphoneBattery{"Headphones", none, none, none, 30},
                                  HeadphoneBattery{"Headphones", none, none, none, 40}}));
}

TEST_F(AirPodsMonitorTest, StoppingCancelsReadsAndTheSwitchGatesStarting) {
    source.connect(buds);
    monitor.stop();
    EXPECT_FALSE(source.started);
    clock.advance(1h);
    EXPECT_TRUE(source.reads.empty());
    defaults.set("airpods.enabled", false);
    monitor.start();
    EXPECT_FALSE(source.started);
}

struct LevelCase {
    const char* sentence;
    std::map<QString, QVariant> properties;
    std::optional<HeadphoneBattery> battery;
};

class HeadphoneLevels : public testing::TestWithParam<LevelCase> {};

TEST_P(HeadphoneLevels, CountOnlyNumbersFromOneToOneHundred) {
    const HeadphoneSource::Device device{"d", std::nullopt, QStringLiteral("Pods")};
    EXPECT_EQ(AirPodsMonitor::battery(device, GetParam().properties), GetParam().battery);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeadphoneLevels,
    testing::Values(
        LevelCase{"empty earbuds count as absent and the case shows",
                  {{HeadphoneSource::left, 0},
                   {HeadphoneSource::right, 0},
                   {HeadphoneSource::caseLevel, 40}},
                  HeadphoneBattery{"Pods", none, none, 40, none}},
        LevelCase{"over one hundred is absent", {{HeadphoneSource::single, 101}}, std::nullopt},
        LevelCase{"a fraction keeps its whole part",
                  {{HeadphoneSource::left, 99.9}, {HeadphoneSource::right, uchar(7)}},
                  HeadphoneBattery{"Pods", 99, 7, none, none}},
        LevelCase{"a text is not a number",
                  {{HeadphoneSource::single, QStringLiteral("50")}},
                  std::nullopt},
        LevelCase{
            "not a number is absent", {{HeadphoneSource::single, std::nan("")}}, std::nullopt},
        LevelCase{"nothing reported", {}, std::nullopt}),
    test::SentenceName());

} // namespace
} // namespace orlet
