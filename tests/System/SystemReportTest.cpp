#include "System/SystemReport.h"

#include "FakeSystemSource.h"
#include "System/SamplerHub.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace orlet {
namespace {

TEST(SystemReportTest, AnUnknownMachineIsAllNull) {
    EXPECT_EQ(nlohmann::json::parse(SystemReport::json({})),
              (nlohmann::json{{"battery", nullptr},
                              {"cpu", nullptr},
                              {"gpu", nullptr},
                              {"memory", nullptr},
                              {"network", nullptr},
                              {"storage", nullptr}}));
}

// Counters that move on between the first reading and the second.
class TwoReadings : public test::FakeSystemSource {
public:
    std::optional<std::vector<CPUTicks>> readTicks() const override {
        return std::vector<CPUTicks>{ticks++ == 0 ? CPUTicks{0, 0, 0, 0} : CPUTicks{30, 0, 10, 0}};
    }
    std::optional<std::map<std::string, InterfaceTotals>> readInterfaces() const override {
        return std::map<std::string, InterfaceTotals>{
            {"eth0", interfaces++ == 0 ? InterfaceTotals{0, 0} : InterfaceTotals{500, 100}}};
    }

private:
    mutable int ticks = 0;
    mutable int interfaces = 0;
};

TEST(SystemReportTest, TwoReadingsOneIntervalApart) {
    auto source = std::make_shared<TwoReadings>();
    source->set({.acceleratorPercents = {25},
                 .memory = VMCounters{.total = 1000, .internal = 300, .swapUsed = 5},
                 .pressureLevel = 2,
                 .volume = StorageStats{100, 40},
                 .powerSources = std::vector<PowerSource>{{.isInternalBattery = true,
                                                           .currentCapacity = 50,
                                                           .maxCapacity = 100,
                                                           .minutesToEmpty = 42}}});
    SamplerHub hub(source);
    const SystemSnapshot snapshot = SystemReport::sampleTwice(hub, std::chrono::milliseconds(50));
    const nlohmann::json report = nlohmann::json::parse(SystemReport::json(snapshot));
    EXPECT_EQ(report["cpu"], (nlohmann::json{{"total", 0.75}, {"perCore", {0.75}}}));
    EXPECT_EQ(report["gpu"], 0.25);
    EXPECT_EQ(report["memory"]["used"], 300);
    EXPECT_EQ(report["memory"]["swapUsed"], 5);
    EXPECT_EQ(report["memory"]["pressure"], "warning");
    EXPECT_EQ(report["storage"], (nlohmann::json{{"total", 100}, {"available", 40}}));
    EXPECT_GT(report["network"]["download"].get<double>(), 0);
    EXPECT_EQ(report["battery"], (nlohmann::json{{"level", 0.5},
                                                 {"isCharging", false},
                                                 {"isPluggedIn", false},
                                                 {"minutesRemaining", 42}}));
}

} // namespace
} // namespace orlet
