#pragma once

#include <chrono>
#include <cstddef>

namespace sim {

// What one server allows its clients, so that a few idle or slow clients cannot lock out the rest.
struct ConnectionLimits {
    std::size_t maxConnections = 32;
    // A message that is begun but not finished within this time drops its connection, and so does a
    // reply the client does not take for this long. Zero: never.
    std::chrono::milliseconds stallTimeout{30'000};
    // A connection with no traffic at all for this long is dropped. Zero: never, as instruments do.
    std::chrono::milliseconds idleTimeout{0};
};

} // namespace sim
