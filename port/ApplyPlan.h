#pragma once

// A profile against the port's present state, with no I/O: where they differ, and the steps that make
// the instrument hold the profile, so that a dry run is the plan printed.

#include "port/PortSetup.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ApplyPlan {

// One setting of the port as apply, diff and their reports name it: "pin 5 function" from "Digital IO"
// to "On Couple"; a value the instrument did not give in a known form is "unknown".
struct SettingChange {
    std::string setting;
    std::string from;
    std::string to;
};

// One setting command of an apply, in the command set's terms.
struct ApplyStep {
    enum class Kind { Function, Polarity, OutputWord, InhibitMode };
    Kind kind;
    std::int16_t pin = 0; // Function and Polarity
    std::string value;    // display name, polarity word, decimal word or mode word
    SettingChange change; // what this step does, for messages and the dry run

    std::string commandText() const; // what the instrument receives
};

// The settings the profile holds that differ from the instrument's, in the order of the port (pins 1 to
// 7, function before polarity, the output word, the inhibit mode); from is the instrument's value.
std::vector<SettingChange> findDifferences(const PortSetup& profile, const PortSetup& instrument);

// The steps that make the instrument hold the profile, only for the settings that differ, for a profile
// ProfileCheck lets through. Pins 4 to 7 that hold a coupling function the profile moves elsewhere are
// freed first (set to their new function once no other pin holds it; in a swap one of the two waits on
// "Digital IO"), so that the one-pin rule holds after every step; then each pin's function and polarity
// in pin order, but for pin 1 taking "Fault", which goes after pin 2 (pin 2 is its common from then on),
// then the output word and the inhibit mode. Settings the profile leaves out are not touched. One step per
// setting that differs, and one more for a swap.
std::vector<ApplyStep> planApply(const PortSetup& profile, const PortSetup& present);

// "pin 5 function: Digital IO -> On Couple"
std::string changeLine(const SettingChange& change);

} // namespace ApplyPlan
