#pragma once

#include <chrono>
#include <cstdint>

namespace base {

// Microseconds on the monotonic clock (CLOCK_MONOTONIC): the stamp of every line the programs write
// about the instrument over time (the I/O trace, the watched input word), so that lines from both can
// be put side by side.
inline std::int64_t monotonicMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace base
