#pragma once

// A profile against the instrument's present state and the port's rules, before anything is sent:
// whatever the port knows the instrument would refuse, or the window would not let happen, is found
// here, so that an apply is either refused whole or sent whole. Profile::parse has checked what needs
// no state; these are checked again for a set-up built some other way.

#include "port/PortSetup.h"

#include <string>
#include <vector>

namespace ProfileCheck {

// One sentence per rule the profile breaks on this instrument, each saying what would fix it, e.g. "the
// profile gives On Couple to pin 5, but it leaves pin 6 out, and pin 6 holds On Couple: give pin 6
// another function in the profile". Empty: the profile may be applied. `present` is the port as read,
// with every function known (a caller never plans from an unknown state).
std::vector<std::string> refusals(const PortSetup& profile, const PortSetup& present);

} // namespace ProfileCheck
