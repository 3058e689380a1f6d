#pragma once

#include <chrono>

namespace transport {

struct TransportTimeouts {
    std::chrono::milliseconds open{2000}; // bounds opening the resource
    std::chrono::milliseconds io{5000};   // bounds every later write and read
};

// The program always runs with the defaults; tests shorten them so that failure paths run quickly.
const TransportTimeouts& CurrentTimeouts();
void SetTimeoutsForTesting(const TransportTimeouts& timeouts);

} // namespace transport
