#include "System/LinuxSystemSource.h"

#include "System/NVMLLibrary.h"
#include "System/UPowerClient.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace orlet {
namespace {

// /proc files report a size of 0, so they are read to the end.
std::optional<std::string> readFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string text;
    std::size_t size = 0;
    text.resize(4096);
    for (;;) {
        if (size == text.size()) {
            text.resize(text.size() * 2);
        }
        const ssize_t got = ::read(fd, text.data() + size, text.size() - size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        size += static_cast<std::size_t>(got);
    }
    ::close(fd);
    text.resize(size);
    return text;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\n");
    return text.substr(first, last - first + 1);
}

// The next whitespace-separated word, taken off the front of `text`.
std::string_view nextWord(std::string_view& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        text = {};
        return {};
    }
    text.remove_prefix(first);
    const auto end = std::min(text.find_first_of(" \t"), text.size());
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

template <typename Number> std::optional<Number> number(std::string_view word) {
    Number value{};
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || word.empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> decimal(std::string_view word) {
    double value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || word.empty()) {
        return std::nullopt;
    }
    return value;
}

template <typename Each> void forEachLine(std::string_view text, Each each) {
    while (!text.empty()) {
        const auto end = std::min(text.find('\n'), text.size());
        each(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
}

std::optional<std::string> readWord(const std::filesystem::path& path) {
    std::optional<std::string> text = readFile(path);
    if (!text) {
        return std::nullopt;
    }
    return std::string(trimmed(*text));
}

template <typename Number> std::optional<Number> readNumber(const std::filesystem::path& path) {
    const std::optional<std::string> word = readWord(path);
    return word ? number<Number>(*word) : std::nullopt;
}

bool isCardName(const std::string& name) {
    return name.size() > 4 && name.starts_with("card") &&
           std::all_of(name.begin() + 4, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

LinuxSystemSource::LinuxSystemSource(Paths paths) : paths_(std::move(paths)) {
    if (paths_.useUPower) {
        upower_ = std::make_unique<UPowerClient>(paths_.systemBusAddress);
    }
    if (paths_.useNVML) {
        nvml_ = std::make_unique<NVMLLibrary>();
    }
}

LinuxSystemSource::~LinuxSystemSource() = default;

std::shared_ptr<const SystemSource> LinuxSystemSource::shared() {
    static const std::shared_ptr<const SystemSource> source =
        std::make_shared<LinuxSystemSource>(Paths{});
    return source;
}

std::optional<std::vector<CPUTicks>> LinuxSystemSource::readTicks() const {
    const std::optional<std::string> text = readFile(paths_.proc / "stat");
    return text ? ticksOfProcStat(*text) : std::nullopt;
}

// Fields of a "cpuN" line: user nice system idle iowait irq softirq steal guest guest_nice.
// Guest time is already inside user. Interrupts and time stolen by the hypervisor are busy
// time the system spent; waiting for I/O is idle, as vmstat and top count it.
std::optional<std::vector<CPUTicks>> LinuxSystemSource::ticksOfProcStat(std::string_view text) {
    std::vector<CPUTicks> ticks;
    bool broken = false;
    forEachLine(text, [&](std::string_view line) {
        if (broken || line.size() < 4 || !line.starts_with("cpu") || line[3] < '0' ||
            line[3] > '9') {
            return;
        }
        nextWord(line);
        std::array<std::uint64_t, 8> field{};
        std::size_t count = 0;
        for (; count < field.size(); ++count) {
            const std::string_view word = nextWord(line);
            if (word.empty()) {
                break;
            }
            const std::optional<std::uint64_t> value = number<std::uint64_t>(word);
            if (!value) {
                broken = true;
                return;
            }
            field[count] = *value;
        }
        if (count < 4) {
            broken = true;
            return;
        }
        // Only the low 32 bits take part: differences are taken modulo 2^32.
        ticks.push_back(CPUTicks{
            .user = static_cast<std::uint32_t>(field[0]),
            .system = static_cast<std::uint32_t>(field[2] + field[5] + field[6] + field[7]),
            .idle = static_cast<std::uint32_t>(field[3] + field[4]),
            .nice = static_cast<std::uint32_t>(field[1]),
        });
    });
    if (broken || ticks.empty()) {
        return std::nullopt;
    }
    return ticks;
}

std::vector<double> LinuxSystemSource::readAcceleratorPercents() const {
    std::vector<double> percents;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(paths_.sys / "class" / "drm", error)) {
        if (!isCardName(entry.path().filename().string())) {
            continue;
        }
        if (const auto percent = readNumber<int>(entry.path() / "device" / "gpu_busy_percent")) {
            percents.push_back(*percent);
        }
    }
    if (nvml_) {
        for (const unsigned percent : nvml_->utilisations()) {
            percents.push_back(percent);
        }
    }
    return percents;
}

std::optional<VMCounters> LinuxSystemSource::readMemory() const {
    const std::optional<std::string> text = readFile(paths_.proc / "meminfo");
    return text ? countersOfMeminfo(*text) : std::nullopt;
}

// How the figures come from /proc/meminfo (all in kB there):
//   total      = MemTotal
//   wired      = Unevictable + SUnreclaim + KernelStack + PageTables + SecPageTables + Percpu:
//                locked pages and kernel memory that neither reclaim nor swap can free
//   compressed = Zswap, the compressed pool of zswap (0 without it)
//   internal   = MemTotal - MemAvailable - wired - compressed: the rest of what the kernel
//                could not hand out without swapping, that is the programs' anonymous and
//                shared memory; so used = MemTotal - MemAvailable, the "used" of free(1)
//   purgeable  = 0: Linux keeps no count of memory that programs marked as droppable
//   external   = Active(file) + Inactive(file) + KReclaimable: the page cache and the
//                kernel caches that go when memory is needed
//   swapUsed   = SwapTotal - SwapFree
// Kernels before 3.14 lack MemAvailable; MemFree plus those caches stands in for it.
std::optional<VMCounters> LinuxSystemSource::countersOfMeminfo(std::string_view text) {
    enum Key {
        memTotal,
        memFree,
        memAvailable,
        unevictable,
        sUnreclaim,
        kernelStack,
        pageTables,
        secPageTables,
        percpu,
        zswap,
        activeFile,
        inactiveFile,
        kReclaimable,
        sReclaimable,
        swapTotal,
        swapFree,
        keyCount
    };
    static constexpr std::array<std::string_view, keyCount> names{
        "MemTotal",     "MemFree",      "MemAvailable", "Unevictable",
        "SUnreclaim",   "KernelStack",  "PageTables",   "SecPageTables",
        "Percpu",       "Zswap",        "Active(file)", "Inactive(file)",
        "KReclaimable", "SReclaimable", "SwapTotal",    "SwapFree"};
    std::array<std::optional<std::uint64_t>, keyCount> values;
    forEachLine(text, [&](std::string_view line) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) {
            return;
        }
        const auto found = std::find(names.begin(), names.end(), line.substr(0, colon));
        if (found == names.end()) {
            return;
        }
        std::string_view rest = line.substr(colon + 1);
        const std::optional<std::uint64_t> value = number<std::uint64_t>(nextWord(rest));
        const std::string_view unit = nextWord(rest);
        if (value && (unit == "kB" || unit.empty())) {
            values[static_cast<std::size_t>(found - names.begin())] =
                unit.empty() ? *value : *value * 1024;
        }
    });
    const auto get = [&](Key key) { return values[key].value_or(0); };
    if (!values[memTotal] || get(memTotal) == 0) {
        return std::nullopt;
    }
    VMCounters counters;
    counters.total = get(memTotal);
    counters.external = get(activeFile) + get(inactiveFile) +
                        (values[kReclaimable] ? get(kReclaimable) : get(sReclaimable));
    const std::uint64_t available =
        std::min(values[memAvailable] ? get(memAvailable) : get(memFree) + counters.external,
                 counters.total);
    counters.wired = get(unevictable) + get(sUnreclaim) + get(kernelStack) + get(pageTables) +
                     get(secPageTables) + get(percpu);
    counters.compressed = get(zswap);
    const std::uint64_t unavailable = counters.total - available;
    const std::uint64_t other = counters.wired + counters.compressed;
    counters.internal = unavailable > other ? unavailable - other : 0;
    counters.purgeable = 0;
    counters.swapUsed = get(swapTotal) > get(swapFree) ? get(swapTotal) - get(swapFree) : 0;
    return counters;
}

std::optional<int> LinuxSystemSource::readPressureLevel() const {
    const std::optional<std::string> text = readFile(paths_.proc / "pressure" / "memory");
    return text ? pressureLevelOfPSI(*text) : std::nullopt;
}

// Pressure stall information: the share of the last 10 seconds in which some tasks, or all
// of them ("full"), waited for memory. Sustained stalls of a tenth of the time are felt as
// sluggishness; everything waiting for a tenth of the time, or some tasks for 40 %, is
// thrashing.
std::optional<int> LinuxSystemSource::pressureLevelOfPSI(std::string_view text) {
    std::optional<double> some;
    std::optional<double> full;
    forEachLine(text, [&](std::string_view line) {
        const std::string_view kind = nextWord(line);
        for (std::string_view word = nextWord(line); !word.empty(); word = nextWord(line)) {
            if (word.starts_with("avg10=")) {
                const std::optional<double> value = decimal(word.substr(6));
                if (kind == "some") {
                    some = value;
                } else if (kind == "full") {
                    full = value;
                }
            }
        }
    });
    if (!some) {
        return std::nullopt;
    }
    if (full.value_or(0) >= 10 || *some >= 40) {
        return 4;
    }
    if (*some >= 10) {
        return 2;
    }
    return 1;
}

std::optional<StorageStats> LinuxSystemSource::readVolume() const {
    struct statvfs volume {};
    if (::statvfs(paths_.volume.c_str(), &volume) != 0) {
        return std::nullopt;
    }
    // f_bavail, not f_bfree: the blocks reserved for root are not the user's to fill.
    const std::uint64_t unit = volume.f_frsize != 0 ? volume.f_frsize : volume.f_bsize;
    return StorageStats{static_cast<std::uint64_t>(volume.f_blocks) * unit,
                        static_cast<std::uint64_t>(volume.f_bavail) * unit};
}

std::optional<std::map<std::string, InterfaceTotals>> LinuxSystemSource::readInterfaces() const {
    const std::optional<std::string> text = readFile(paths_.proc / "net" / "dev");
    return text ? interfacesOfNetDev(*text) : std::nullopt;
}

// "  eth0: rx_bytes packets errs drop fifo frame compressed multicast tx_bytes …", after two
// lines of headings. The name may touch the first number when it is large.
std::optional<std::map<std::string, InterfaceTotals>>
LinuxSystemSource::interfacesOfNetDev(std::string_view text) {
    std::map<std::string, InterfaceTotals> interfaces;
    bool sawHeading = false;
    forEachLine(text, [&](std::string_view line) {
        if (line.find('|') != std::string_view::npos) {
            sawHeading = true;
            return;
        }
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) {
            return;
        }
        const std::string_view name = trimmed(line.substr(0, colon));
        if (name.empty() || name == "lo") {
            return;
        }
        std::string_view rest = line.substr(colon + 1);
        std::array<std::optional<std::uint64_t>, 9> field;
        for (auto& value : field) {
            value = number<std::uint64_t>(nextWord(rest));
        }
        if (field[0] && field[8]) {
            interfaces[std::string(name)] = InterfaceTotals{*field[0], *field[8]};
        }
    });
    if (!sawHeading) {
        return std::nullopt;
    }
    return interfaces;
}

std::optional<std::vector<PowerSource>> LinuxSystemSource::readPowerSources() const {
    if (upower_) {
        if (std::optional<std::vector<PowerSource>> sources = upower_->powerSources()) {
            return sources;
        }
    }
    return readPowerSupplies();
}

std::vector<PowerSource> LinuxSystemSource::readPowerSupplies() const {
    std::vector<PowerSource> batteries;
    bool anyMains = false;
    bool mainsOnline = false;
    std::vector<std::string> statuses;
    std::error_code error;
    std::vector<std::filesystem::path> entries;
    for (const auto& entry :
         std::filesystem::directory_iterator(paths_.sys / "class" / "power_supply", error)) {
        entries.push_back(entry.path());
    }
    // The directory's order is the file system's; BAT0 before BAT1 keeps "the first" stable.
    std::sort(entries.begin(), entries.end());
    for (const std::filesystem::path& supply : entries) {
        const std::string type = readWord(supply / "type").value_or("");
        if (type == "Mains") {
            anyMains = true;
            mainsOnline = mainsOnline || readNumber<int>(supply / "online").value_or(0) == 1;
            continue;
        }
        if (type != "Battery") {
            continue;
        }
        PowerSource source;
        // Mice, keyboards and headsets say "Device"; the laptop's own battery says "System"
        // or nothing.
        source.isInternalBattery = readWord(supply / "scope").value_or("System") != "Device" &&
                                   readNumber<int>(supply / "present").value_or(1) == 1;
        const auto energyNow = readNumber<std::uint64_t>(supply / "energy_now");
        const auto energyFull = readNumber<std::uint64_t>(supply / "energy_full");
        const auto chargeNow = readNumber<std::uint64_t>(supply / "charge_now");
        const auto chargeFull = readNumber<std::uint64_t>(supply / "charge_full");
        if (const auto capacity = readNumber<int>(supply / "capacity")) {
            source.currentCapacity = *capacity;
            source.maxCapacity = 100;
        } else if (energyNow && energyFull) {
            source.currentCapacity = static_cast<double>(*energyNow);
            source.maxCapacity = static_cast<double>(*energyFull);
        } else if (chargeNow && chargeFull) {
            source.currentCapacity = static_cast<double>(*chargeNow);
            source.maxCapacity = static_cast<double>(*chargeFull);
        }
        const std::string status = readWord(supply / "status").value_or("");
        statuses.push_back(status);
        source.isCharging = status == "Charging";
        const auto toFull = readNumber<long long>(supply / "time_to_full_now");
        const auto toEmpty = readNumber<long long>(supply / "time_to_empty_now");
        if (toFull) {
            source.minutesToFull = static_cast<int>(*toFull / 60);
        }
        if (toEmpty) {
            source.minutesToEmpty = static_cast<int>(*toEmpty / 60);
        }
        // Most drivers give no times: the rate of flow gives them.
        const auto powerNow = readNumber<std::uint64_t>(supply / "power_now");
        const auto currentNow = readNumber<std::uint64_t>(supply / "current_now");
        const auto estimate = [](std::uint64_t amount, std::optional<std::uint64_t> rate) {
            return rate && *rate > 0 ? std::optional<int>(static_cast<int>(
                                           static_cast<double>(amount) / *rate * 60.0))
                                     : std::nullopt;
        };
        if (!source.minutesToEmpty && source.currentCapacity && !source.isCharging) {
            source.minutesToEmpty = energyNow   ? estimate(*energyNow, powerNow)
                                    : chargeNow ? estimate(*chargeNow, currentNow)
                                                : std::nullopt;
        }
        if (!source.minutesToFull && source.isCharging) {
            if (energyNow && energyFull && *energyFull >= *energyNow) {
                source.minutesToFull = estimate(*energyFull - *energyNow, powerNow);
            } else if (chargeNow && chargeFull && *chargeFull >= *chargeNow) {
                source.minutesToFull = estimate(*chargeFull - *chargeNow, currentNow);
            }
        }
        batteries.push_back(source);
    }
    for (std::size_t i = 0; i < batteries.size(); ++i) {
        // Without a mains supply to ask, a battery that charges, is full or is held at its
        // limit has power coming in.
        batteries[i].isOnACPower = anyMains ? mainsOnline
                                            : statuses[i] == "Charging" || statuses[i] == "Full" ||
                                                  statuses[i] == "Not charging";
    }
    return batteries;
}

} // namespace orlet
