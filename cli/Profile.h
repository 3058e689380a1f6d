#pragma once

#include "cli/PortSetup.h"

#include <string>

namespace cli {

// The port profile file: small, human-editable, versioned JSON with pin functions by display name.
//   {"format": "pinwright-profile", "version": 1,
//    "pins": [{"pin": 1, "function": "Digital IO", "polarity": "positive"}, ...],
//    "outputWord": 5, "inhibitMode": "latching"}
// Every field but format and version may be left out; apply then leaves that setting as it is.
namespace Profile {

inline constexpr const char* kFormat = "pinwright-profile";
inline constexpr int kVersion = 1;

// Checks everything before anything is sent: JSON syntax (naming the line), format and version, known
// fields only, pins 1 to 7 once each, known function names and polarities, each coupling function on
// one of pins 4 to 7 at most once, an output word 0 to 127, a known inhibit mode. Throws
// CliFailure(kUsageError) naming the file and the line or field.
PortSetup parse(const std::string& text, const std::string& fileName);

std::string write(const PortSetup& setup);

} // namespace Profile
} // namespace cli
