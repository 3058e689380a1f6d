#pragma once

#include "port/PortFailure.h"

#include <string>

namespace tangoserver {

// The reason a DevFailed carries for each cause, so that a client can tell a refusal (nothing was sent)
// from an instrument's error or a lost instrument without reading the description:
// "PinwrightPort_Refused", "PinwrightPort_InstrumentError", "PinwrightPort_Lost", ...
std::string reasonFor(PortFailure::Cause cause);
inline constexpr const char* kRefused = "PinwrightPort_Refused";
inline constexpr const char* kInvalidProfile = "PinwrightPort_InvalidProfile";
inline constexpr const char* kInvalidProperty = "PinwrightPort_InvalidProperty";
inline constexpr const char* kFailed = "PinwrightPort_Failed"; // what no cause names

// Throws the failure as Tango::DevFailed: its reason by cause, its description the failure's own text
// ("<resource>: <step>: <detail>").
[[noreturn]] void throwTangoFailure(const PortFailure& failure, const std::string& origin);
[[noreturn]] void throwTangoFailure(const std::string& reason, const std::string& description,
                                    const std::string& origin);

} // namespace tangoserver
