#pragma once

// The one-pin rule: each coupling function ("On Couple", "Off Couple") may be held by at most one of
// pins 4 to 7. The instrument's present state decides, so callers pass the functions just read.

#include "port/PortFacts.h"
#include "port/TextTable.h"

#include <cstdint>
#include <string>
#include <vector>

namespace CouplingRule {

inline constexpr std::int16_t kFirstPin = 4;
inline constexpr std::int16_t kLastPin = kPinCount;

// Exactly "On Couple" or "Off Couple": letter case and blanks count.
bool isCouplingFunction(const std::string& displayName);

// The pins among 4 to 7, other than `pin`, whose function (display name, table indexed 1 to 7) is
// `displayName`, in ascending order. Empty means the change may go ahead.
std::vector<std::int16_t> pinsHolding(const std::string& displayName, std::int16_t pin,
                                      const TextTable& functions);

// What the user is told for each pin that already holds the function.
std::string clashMessage(const std::string& displayName, std::int16_t holdingPin);

} // namespace CouplingRule
