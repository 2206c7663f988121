// Cost of one pointer movement through the coordinator to every notch, and proof that it does
// not allocate.
#include "Notch/NotchCoordinator.h"
#include "Platform/DefaultsStore.h"
#include "Platform/ManualClock.h"
#include "Settings/AppSettings.h"
#include "NoLoginItem.h"
#include "TemporaryDirectory.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long long> allocations{0};

} // namespace

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace {

using namespace orlet;

using test::NoLoginItem;

class Screens : public ScreenSource {
public:
    std::vector<DisplayInfo> displays() const override { return list; }
    std::vector<DisplayInfo> list;
};

class Pointer : public PointerSource {
public:
    Point position() const override { return at; }
    bool start() override { return true; }
    void stop() override {}
    Point at;
};

class Surface : public NotchSurface {
public:
    void setFrame(const Rect&) override {}
    void setIgnoresMouseEvents(bool ignores) override { ignores_ = ignores; }
    bool ignoresMouseEvents() const override { return ignores_; }
    void orderFront() override {}
    void orderOut() override {}

private:
    bool ignores_ = true;
};

void BM_DispatchPointer(benchmark::State& state) {
    const auto notches = static_cast<int>(state.range(0));
    const bool overNotch = state.range(1) != 0;
    test::TemporaryDirectory directory;
    ManualClock clock;
    DefaultsStore store(QString::fromStdString((directory.path() / "defaults.json").string()));
    NoLoginItem login;
    AppSettings settings(store, login);
    Screens screens;
    for (int i = 0; i < notches; ++i) {
        DisplayInfo display;
        display.id = static_cast<std::uint32_t>(i + 1);
        display.measurements.frame = {1440.0 * i, 0, 1440, 900};
        display.measurements.visibleFrame = {1440.0 * i, 0, 1440, 876};
        display.isMain = i == 0;
        screens.list.push_back(display);
    }
    Pointer pointer;
    NotchCoordinator coordinator(
        {clock,
         settings,
         store,
         screens,
         pointer,
         [](NotchViewModel&, const DisplayInfo&) { return std::make_unique<Surface>(); },
         {},
         {},
         {},
         {}});
    coordinator.start();
    // Settle into the state being measured: hovering an open notch, or moving elsewhere.
    pointer.at = overNotch ? Point{720, 895} : Point{300, 300};
    coordinator.dispatchPointer();
    clock.advance(std::chrono::seconds(1));

    const long long before = allocations.load();
    double x = 0;
    for (auto _ : state) {
        x = x > 20 ? 0 : x + 1;
        pointer.at = overNotch ? Point{710 + x, 890} : Point{300 + x, 300};
        coordinator.dispatchPointer();
    }
    state.counters["allocations_per_event"] = benchmark::Counter(
        static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations()));
    state.counters["notches"] = notches;
}
BENCHMARK(BM_DispatchPointer)
    ->ArgNames({"notches", "over"})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({4, 0})
    ->Args({1, 1})
    ->Args({4, 1});

} // namespace
