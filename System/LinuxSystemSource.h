#pragma once

#include "System/SystemSource.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orlet {

class NVMLLibrary;
class UPowerClient;

// The counters of a Linux machine: /proc, /sys, statvfs, UPower on the system bus and NVML.
// The roots can point at a recorded tree.
class LinuxSystemSource : public SystemSource {
public:
    struct Paths {
        std::filesystem::path proc = "/proc";
        std::filesystem::path sys = "/sys";
        std::filesystem::path volume = "/";
        bool useUPower = true;
        std::optional<std::string> systemBusAddress{}; ///< none: the system bus
        bool useNVML = true;
    };

    explicit LinuxSystemSource(Paths paths);
    ~LinuxSystemSource() override;

    // The machine's own, shared by every sampler made without a source.
    static std::shared_ptr<const SystemSource> shared();

    std::optional<std::vector<CPUTicks>> readTicks() const override;
    std::vector<double> readAcceleratorPercents() const override;
    std::optional<VMCounters> readMemory() const override;
    std::optional<int> readPressureLevel() const override;
    std::optional<StorageStats> readVolume() const override;
    std::optional<std::map<std::string, InterfaceTotals>> readInterfaces() const override;
    std::optional<std::vector<PowerSource>> readPowerSources() const override;

    // From /sys/class/power_supply alone.
    std::vector<PowerSource> readPowerSupplies() const;

    // The text of the kernel's files; nothing when they cannot be made sense of.
    static std::optional<std::vector<CPUTicks>> ticksOfProcStat(std::string_view text);
    static std::optional<VMCounters> countersOfMeminfo(std::string_view text);
    static std::optional<int> pressureLevelOfPSI(std::string_view text);
    static std::optional<std::map<std::string, InterfaceTotals>>
    interfacesOfNetDev(std::string_view text);

private:
    Paths paths_;
    std::unique_ptr<UPowerClient> upower_;
    std::unique_ptr<NVMLLibrary> nvml_;
};

} // namespace orlet
