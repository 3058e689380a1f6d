#include "base/Deadline.h"

#include <algorithm>
#include <limits>

namespace base {

int pollMillisecondsUntil(std::chrono::steady_clock::time_point end) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    return static_cast<int>(
        std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, std::numeric_limits<int>::max()));
}

std::chrono::milliseconds Deadline::remaining() const {
    return std::chrono::milliseconds(pollMillisecondsUntil(end_));
}

} // namespace base
