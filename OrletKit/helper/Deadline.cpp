#include "OrletKit/helper/Deadline.h"

#include <algorithm>

namespace orlet {

int Deadline::remainingMilliseconds() const {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

} // namespace orlet
