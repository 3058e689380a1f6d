#pragma once

#include "port/InhibitMode.h"
#include "port/Polarity.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The labels of the enumerated attributes, taken from the port's own names (PortRules, PortNames) so that
// a Tango client offers what the window offers, in its order. A value is its label's index.
namespace tangoserver::PortLabels {

std::vector<std::string> functions(std::int16_t pin); // "Digital IO", ..., "On Couple", ...
std::vector<std::string> polarities();                // "Positive", "Negative"
std::vector<std::string> inhibitModes();              // "Live", "Latching", "Off"

std::optional<short> functionIndex(std::int16_t pin, const std::string& displayName);
short polarityIndex(Polarity polarity);   // Positive or Negative
short inhibitModeIndex(InhibitMode mode); // Live, Latching or Off
// Nothing for an index outside the labels.
std::optional<std::string> functionAt(std::int16_t pin, long index);
std::optional<Polarity> polarityAt(long index);
std::optional<InhibitMode> inhibitModeAt(long index);

} // namespace tangoserver::PortLabels
