#pragma once

#include <cstdint>

// The mainframe's digital control port has this many pins, numbered from 1; bit n-1 of the port's
// words belongs to pin n.
inline constexpr std::int16_t kPinCount = 7;
