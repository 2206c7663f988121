#include "System/SystemMonitor.h"

#include "FakeSystemSource.h"
#include "Platform/ManualClock.h"
#include "System/RingBuffer.h"
#include "System/SamplerHub.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace orlet {
namespace {

using namespace std::chrono_literals;

class SystemMonitorTest : public testing::Test {
protected:
    SystemMonitorTest() {
        source->set({.ticks = std::vector<CPUTicks>{{0, 0, 0, 0}, {0, 0, 0, 0}},
                     .acceleratorPercents = {50},
                     .memory = VMCounters{.total = 1000, .internal = 400},
                     .volume = StorageStats{100, 50},
                     .interfaces = std::map<std::string, InterfaceTotals>{{"eth0", {0, 0}}}});
    }

    // Every pass moves the counters on, so each snapshot differs from the one before.
    void moveCountersOn() {
        source->change([](auto& values) {
            if (values.ticks) {
                for (CPUTicks& core : *values.ticks) {
                    core.user += 10;
                    core.idle += 30;
                }
            }
            (*values.interfaces)["eth0"].received += 1000;
        });
    }

    // Waits for the worker's answer to reach the main thread: the monitor then waits on the
    // clock again (or, once stopped, the worker is gone).
    bool settled() {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents();
            if (clock.pendingCount() > 0) {
                return true;
            }
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }

    static bool waitUntil(const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }

    // Advances to the next pass and lets it finish.
    void pass(Clock::Duration wait) {
        moveCountersOn();
        clock.advance(wait);
        ASSERT_EQ(clock.pendingCount(), 0u) << "no pass was due";
        ASSERT_TRUE(settled());
    }

    int passes() const { return source->powerReads; }
    int primes() const { return source->tickReads - passes(); }

    ManualClock clock;
    std::shared_ptr<test::FakeSystemSource> source = std::make_shared<test::FakeSystemSource>();
    double sampleInterval = 1.0;
    std::atomic<bool> lowPower = false;
    SystemMonitor monitor{clock, std::make_unique<SamplerHub>(source),
                          [this] { return sampleInterval; }, [this] { return lowPower.load(); }};
};

TEST_F(SystemMonitorTest, AViewerStartsTheLoopWhichPrimesThenSamplesEveryInterval) {
    EXPECT_FALSE(monitor.isRunning());
    monitor.acquire();
    EXPECT_TRUE(monitor.isRunning());
    ASSERT_TRUE(settled());
    EXPECT_EQ(primes(), 1);
    EXPECT_EQ(passes(), 0);

    // The first snapshot measures over the priming gap.
    pass(250ms);
    EXPECT_EQ(passes(), 1);
    ASSERT_TRUE(monitor.snapshot().cpu);
    EXPECT_DOUBLE_EQ(monitor.snapshot().cpu->total, 0.25);
    ASSERT_TRUE(monitor.snapshot().network);
    EXPECT_DOUBLE_EQ(monitor.snapshot().network->download, 4000);
    EXPECT_EQ(monitor.snapshot().gpu, 0.5);
    EXPECT_EQ(monitor.snapshot().storage, (StorageStats{100, 50}));
    EXPECT_EQ(monitor.cpuHistory().values(), std::vector<double>{0.25});
    EXPECT_EQ(monitor.gpuHistory().values(), std::vector<double>{0.5});

    clock.advance(999ms);
    EXPECT_EQ(passes(), 1);
    pass(1ms);
    EXPECT_EQ(passes(), 2);
    EXPECT_EQ(monitor.cpuHistory().elements().size(), 2u);
}

TEST_F(SystemMonitorTest, IntervalFollowsDemandSettingAndLowPower) {
    struct Case {
        const char* sentence;
        bool viewer;
        double setting;
        bool lowPower;
        Clock::Duration expected;
    };
    const Case cases[] = {
        {"only the pinned wing", false, 1.0, false, 5s},
        {"only the pinned wing in low power", false, 2.0, true, 5s},
        {"a viewer at the default", true, 1.0, false, 1s},
        {"a viewer at 2 s in low power", true, 2.0, true, 4s},
        {"a fractional setting truncates to milliseconds", true, 1.2345, false, 1234ms},
        {"a zero setting samples every second", true, 0.0, false, 1s},
        {"a negative setting samples every second", true, -3.0, false, 1s},
        {"a broken setting samples every second", true, std::nan(""), false, 1s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sentence);
        sampleInterval = c.setting;
        lowPower = c.lowPower;
        monitor.setPinnedDemand(!c.viewer);
        if (c.viewer) {
            monitor.acquire();
        }
        ASSERT_TRUE(settled());
        pass(250ms);
        const int before = passes();
        clock.advance(c.expected - 1ms);
        EXPECT_EQ(passes(), before);
        pass(1ms);
        EXPECT_EQ(passes(), before + 1);
        EXPECT_EQ(monitor.interval(), c.expected);
        if (c.viewer) {
            monitor.release();
        }
        monitor.setPinnedDemand(false);
        EXPECT_FALSE(monitor.isRunning());
    }
}

TEST_F(SystemMonitorTest, OpeningWithThePinnedWingRestartsAtTheViewingInterval) {
    monitor.setPinnedDemand(true);
    ASSERT_TRUE(settled());
    pass(250ms);
    clock.advance(2s);
    monitor.acquire();
    ASSERT_TRUE(settled());
    EXPECT_EQ(primes(), 2);
    pass(250ms);
    EXPECT_EQ(passes(), 2);
    pass(1s);
    EXPECT_EQ(passes(), 3);
}

TEST_F(SystemMonitorTest, ClosingWhilePinnedKeepsSamplingEveryFiveSecondsFromTheNextPass) {
    monitor.setPinnedDemand(true);
    monitor.acquire();
    ASSERT_TRUE(settled());
    pass(250ms);
    monitor.release();
    EXPECT_TRUE(monitor.isRunning());
    // The wait already begun keeps its length.
    pass(1s);
    EXPECT_EQ(passes(), 2);
    clock.advance(4999ms);
    EXPECT_EQ(passes(), 2);
    pass(1ms);
    EXPECT_EQ(passes(), 3);
    EXPECT_EQ(primes(), 1);
}

TEST_F(SystemMonitorTest, ClosingStopsEverythingAndKeepsTheLastValues) {
    QSignalSpy running(&monitor, &SystemMonitor::isRunningChanged);
    monitor.acquire();
    ASSERT_TRUE(settled());
    pass(250ms);
    const SystemSnapshot last = monitor.snapshot();
    monitor.release();
    EXPECT_FALSE(monitor.isRunning());
    EXPECT_EQ(running.count(), 2);
    EXPECT_EQ(clock.pendingCount(), 0u);
    clock.advance(1h);
    EXPECT_EQ(passes(), 1);
    EXPECT_EQ(monitor.snapshot(), last);
    EXPECT_EQ(monitor.cpuHistory().elements().size(), 1u);
    monitor.release();
    EXPECT_EQ(monitor.demand(), 0);
    monitor.acquire();
    EXPECT_EQ(monitor.demand(), 1);
}

TEST_F(SystemMonitorTest, SuspensionStopsTheLoopAndWakingPrimesAfresh) {
    monitor.acquire();
    ASSERT_TRUE(settled());
    pass(250ms);
    monitor.setSuspended(true);
    EXPECT_FALSE(monitor.isRunning());
    EXPECT_EQ(clock.pendingCount(), 0u);
    monitor.acquire();
    EXPECT_FALSE(monitor.isRunning());
    monitor.setSuspended(false);
    EXPECT_TRUE(monitor.isRunning());
    ASSERT_TRUE(settled());
    EXPECT_EQ(primes(), 2);
    pass(250ms);
    EXPECT_EQ(passes(), 2);
}

TEST_F(SystemMonitorTest, ALoopCancelledDuringItsPassWritesNothing) {
    std::atomic<bool> hold = false;
    std::atomic<bool> held = false;
    source->duringPowerRead = [&] {
        while (hold) {
            held = true;
            std::this_thread::sleep_for(1ms);
        }
    };
    monitor.acquire();
    ASSERT_TRUE(settled());
    pass(250ms);
    const SystemSnapshot last = monitor.snapshot();
    moveCountersOn();
    hold = true;
    clock.advance(1s);
    ASSERT_TRUE(waitUntil([&] { return held.load(); }));
    // The viewer goes while the pass runs on the worker.
    monitor.release();
    hold = false;
    ASSERT_TRUE(waitUntil([&] { return source->powerReadsDone == 2; }));
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(monitor.snapshot(), last);
    EXPECT_EQ(monitor.cpuHistory().elements().size(), 1u);
    EXPECT_EQ(clock.pendingCount(), 0u);
}

TEST_F(SystemMonitorTest, HistoriesTakeOnlyPassesWithAValueAndObserversHearOfChangesOnly) {
    QSignalSpy snapshots(&monitor, &SystemMonitor::snapshotChanged);
    monitor.acquire();
    ASSERT_TRUE(settled());
    pass(250ms);
    EXPECT_EQ(snapshots.count(), 1);
    // The counters stand still: the same snapshot twice is no change.
    clock.advance(1s);
    ASSERT_TRUE(settled());
    clock.advance(1s);
    ASSERT_TRUE(settled());
    EXPECT_EQ(snapshots.count(), 2); // idle load and no throughput differ from the first
    EXPECT_EQ(monitor.cpuHistory().elements().size(), 3u);
    source->change([](auto& values) {
        values.ticks.reset();
        values.acceleratorPercents.clear();
    });
    pass(1s);
    EXPECT_FALSE(monitor.snapshot().cpu);
    EXPECT_FALSE(monitor.snapshot().gpu);
    EXPECT_EQ(monitor.cpuHistory().elements().size(), 3u);
    EXPECT_EQ(monitor.gpuHistory().elements().size(), 3u);
}

TEST(RingBufferTest, TheNewestValuePushesOutTheOldest) {
    RingBuffer<double> buffer(60);
    for (int i = 1; i <= 61; ++i) {
        buffer.append(i);
    }
    ASSERT_EQ(buffer.elements().size(), 60u);
    EXPECT_EQ(buffer.elements().front(), 2);
    EXPECT_EQ(buffer.elements().back(), 61);
    RingBuffer<int> tiny(0);
    tiny.append(1);
    tiny.append(2);
    EXPECT_EQ(tiny.values(), std::vector<int>{2});
}

} // namespace
} // namespace orlet
