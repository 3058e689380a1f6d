#pragma once

// The port's rules as data, for every front end to ask before it sends: which functions each pin
// offers (the window's lists), pin 2 serving as pin 1's fault common while pin 1 is "Fault", the one-pin
// rule of the coupling functions (CouplingRule) and the output word's range. A front end that keeps
// them never has a setting refused by the instrument for a reason the port knows.

#include "port/PortFacts.h"
#include "port/PortSetup.h"
#include "port/TextTable.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace PortRules {

inline constexpr int kMaxOutputWord = (1 << kPinCount) - 1; // 127: one bit per pin
inline constexpr std::int16_t kFaultPin = 1;
inline constexpr std::int16_t kFaultCommonPin = 2;
inline constexpr const char* kFault = "Fault";

bool isOutputWord(long word); // 0 to kMaxOutputWord

// The display names pin `pin` offers, in the order of the window's list for it: the four common
// functions on every pin, "Fault" on pin 1, "Inhibit" on pin 3, the coupling functions on pins 4 to 7.
std::vector<std::string> functionsOffered(std::int16_t pin);
bool offers(std::int16_t pin, const std::string& displayName);
// "Fault is offered on pin 1 only (pin 3 offers Digital IO, Digital Input, Trigger Out, Trigger In and
// Inhibit)".
std::string notOfferedMessage(std::int16_t pin, const std::string& displayName);

// While pin 1 is "Fault", pin 2 is its common and cannot be set.
bool pin2IsFaultCommon(const std::string& pin1Function);
std::string faultCommonMessage();

// What stands in the way of setting `function` on `pin`, given each pin's function now (display names,
// pin 1 first, empty where unknown): the pin's list, pin 2 as fault common, the one-pin rule, each said
// once. Nothing: the change may go.
std::optional<std::string> refusalForPin(std::int16_t pin, const std::string& function,
                                         const TextTable& functions);

// The port after *RST: the output word goes to 0; the pin set-up and the inhibit mode live in the
// mainframe's non-volatile memory and survive it.
PortSetup afterReset(const PortSetup& setup);

// "pin 5", "pins 5 and 6", "pins 4, 5 and 6".
std::string pinList(const std::vector<std::int16_t>& pins);

} // namespace PortRules
