#include "Platform/Clock.h"

#include "Platform/SystemClock.h"

namespace orlet {
namespace {

Clock* installed = nullptr;

} // namespace

Clock& Clock::shared() {
    if (installed != nullptr) {
        return *installed;
    }
    static SystemClock system;
    return system;
}

void Clock::setShared(Clock* clock) {
    installed = clock;
}

} // namespace orlet
