#pragma once

#include "port/PortSetup.h"

#include <string>

namespace cli {

// show's output. Text, one setting a line:
//   pin 1: Digital IO, positive
//   ...
//   output: 5 (pin 7654321: 0000101)
//   input: 0 (pin 7654321: 0000000)
//   inhibit: latching
// or one JSON object with resource, pins (pin, function, polarity), outputWord, outputBits, inputWord,
// inputBits and inhibitMode; a value the instrument did not give in a known form is "unknown" or null.
// Names are the canonical ones of PortNames.
std::string showText(const PortReading& reading);
std::string showJson(const std::string& resource, const PortReading& reading);

} // namespace cli
