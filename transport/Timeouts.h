#pragma once

#include <chrono>

namespace transport {

// The two limits of one instrument session. Every caller owns its own: the window always runs with
// these defaults, pinwright-cli takes the I/O time-out as an option, tests shorten both.
struct Timeouts {
    std::chrono::milliseconds open{2000}; // bounds opening the resource
    std::chrono::milliseconds io{5000};   // bounds every later write and read
};

} // namespace transport
