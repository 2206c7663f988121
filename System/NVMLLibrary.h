#pragma once

#include <mutex>
#include <vector>

namespace orlet {

// NVIDIA's management library, opened at run time: machines without the driver simply have
// no such library.
class NVMLLibrary {
public:
    NVMLLibrary() = default;
    ~NVMLLibrary();
    NVMLLibrary(const NVMLLibrary&) = delete;
    NVMLLibrary& operator=(const NVMLLibrary&) = delete;

    // The GPU utilisation percentage of every device; empty without the library or a device.
    std::vector<unsigned> utilisations();

private:
    using Result = int;
    struct Utilization {
        unsigned gpu;
        unsigned memory;
    };

    bool load();

    std::once_flag loaded_;
    void* handle_ = nullptr;
    bool initialised_ = false;
    Result (*deviceCount_)(unsigned*) = nullptr;
    Result (*deviceByIndex_)(unsigned, void**) = nullptr;
    Result (*utilizationRates_)(void*, Utilization*) = nullptr;
    Result (*shutdown_)() = nullptr;
};

} // namespace orlet
