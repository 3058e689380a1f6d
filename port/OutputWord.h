#pragma once

#include "port/PortFacts.h"

#include <array>
#include <cstdint>

// The port's output word from one digit per pin, pin 1 first: pin n carries the weight 2^(n-1). The
// digits are not limited to 0 and 1 (a 2 adds twice the weight, a negative digit subtracts); the sum is
// formed exactly and only then checked, so no weight is ever truncated. Throws OutputWordOverflow when
// the sum is outside -32768 to 32767.
std::int16_t outputWordFromDigits(const std::array<std::int16_t, kPinCount>& digitsPin1First);
