#pragma once

#include <chrono>

namespace transport {

struct TransportTimeouts {
    std::chrono::milliseconds open{2000}; // bounds opening the resource
    std::chrono::milliseconds io{5000};   // bounds every later write and read
};

// The window always runs with the defaults; the command-line tool takes the I/O time-out as an option,
// and tests shorten both so that failure paths run quickly.
const TransportTimeouts& CurrentTimeouts();
void SetTimeouts(const TransportTimeouts& timeouts);
void SetTimeoutsForTesting(const TransportTimeouts& timeouts);

} // namespace transport
