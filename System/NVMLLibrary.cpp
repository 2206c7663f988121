#include "System/NVMLLibrary.h"

#include <dlfcn.h>

namespace orlet {

NVMLLibrary::~NVMLLibrary() {
    if (initialised_ && shutdown_ != nullptr) {
        shutdown_();
    }
    if (handle_ != nullptr) {
        ::dlclose(handle_);
    }
}

bool NVMLLibrary::load() {
    // The versioned name is the one the driver package installs; the bare one only comes with
    // development files.
    handle_ = ::dlopen("libnvidia-ml.so.1", RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        return false;
    }
    const auto symbol = [this](const char* name) { return ::dlsym(handle_, name); };
    auto* init = reinterpret_cast<Result (*)()>(symbol("nvmlInit_v2"));
    deviceCount_ = reinterpret_cast<Result (*)(unsigned*)>(symbol("nvmlDeviceGetCount_v2"));
    deviceByIndex_ =
        reinterpret_cast<Result (*)(unsigned, void**)>(symbol("nvmlDeviceGetHandleByIndex_v2"));
    utilizationRates_ =
        reinterpret_cast<Result (*)(void*, Utilization*)>(symbol("nvmlDeviceGetUtilizationRates"));
    shutdown_ = reinterpret_cast<Result (*)()>(symbol("nvmlShutdown"));
    if (init == nullptr || deviceCount_ == nullptr || deviceByIndex_ == nullptr ||
        utilizationRates_ == nullptr) {
        return false;
    }
    // 0 is NVML_SUCCESS; without a working driver initialisation fails.
    initialised_ = init() == 0;
    return initialised_;
}

std::vector<unsigned> NVMLLibrary::utilisations() {
    std::call_once(loaded_, [this] { load(); });
    std::vector<unsigned> percents;
    if (!initialised_) {
        return percents;
    }
    unsigned count = 0;
    if (deviceCount_(&count) != 0) {
        return percents;
    }
    for (unsigned i = 0; i < count; ++i) {
        void* device = nullptr;
        Utilization rates{};
        if (deviceByIndex_(i, &device) == 0 && utilizationRates_(device, &rates) == 0) {
            percents.push_back(rates.gpu);
        }
    }
    return percents;
}

} // namespace orlet
