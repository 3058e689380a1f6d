#include "base/Deadline.h"

#include <algorithm>
#include <limits>

namespace base {

std::chrono::milliseconds Deadline::remaining() const {
    const auto left = end_ - Clock::now();
    if (left <= Clock::duration::zero())
        return std::chrono::milliseconds::zero();
    return std::chrono::ceil<std::chrono::milliseconds>(left);
}

int Deadline::pollMilliseconds() const {
    const auto left = remaining().count();
    return static_cast<int>(std::min<decltype(left)>(left, std::numeric_limits<int>::max()));
}

} // namespace base
