#pragma once

// The names of the port's settings as people type them and as every front end prints them: a pin
// function by its display name ("On Couple") or its mnemonic ("ONC"), a polarity ("positive", "POS"), an
// inhibit mode ("latching", "LATC"), all in any letter case. What is printed is the canonical spelling:
// the display name, and the lower-case word of a polarity or a mode.

#include "port/InhibitMode.h"
#include "port/Polarity.h"

#include <optional>
#include <string>
#include <string_view>

namespace PortNames {

std::optional<std::string> functionFromName(std::string_view text); // the display name
std::optional<Polarity> polarityFromName(std::string_view text);
std::optional<InhibitMode> inhibitModeFromName(std::string_view text);

std::string polarityName(Polarity polarity);   // "positive", "negative"
std::string inhibitModeName(InhibitMode mode); // "live", "latching", "off"

// For messages that list what may be typed: "Digital IO (DIO), Digital Input (DINP), ...",
// "positive (POS) or negative (NEG)", "live, latching (LATC) or off".
std::string functionChoices();
std::string polarityChoices();
std::string inhibitModeChoices();

} // namespace PortNames
