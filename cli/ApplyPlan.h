#pragma once

#include "cli/PortSetup.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// One setting command of an apply, in the command set's terms.
struct ApplyStep {
    enum class Kind { Function, Polarity, OutputWord, InhibitMode };
    Kind kind;
    std::int16_t pin = 0;    // Function and Polarity
    std::string value;       // display name, polarity word, decimal word or mode word
    std::string description; // "pin 5 function Off Couple", for messages

    std::string commandText() const; // what the instrument receives
};

// The order in which a profile is applied to an instrument in the present state: pins 4 to 7 that hold
// a coupling function the profile moves elsewhere are freed first (set to their new function, or to
// "Digital IO" for the moment when they are to take the other coupling function), so that the one-pin
// rule holds after every step; then every pin's function and polarity in pin order, the output word
// and the inhibit mode. Settings the profile leaves out are not touched.
std::vector<ApplyStep> planApply(const PortSetup& profile, const PortSetup& present);

// Where the instrument's set-up differs from the profile, one line each ("pin 5 function: profile
// On Couple, instrument Digital IO"); only settings the profile holds are compared.
std::vector<std::string> findDifferences(const PortSetup& profile, const PortSetup& instrument);

} // namespace cli
