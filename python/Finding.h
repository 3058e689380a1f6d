#pragma once

#include <chrono>
#include <pybind11/pybind11.h>

namespace pybinding {

// Finds instruments as pinwright-cli find does (transport/InstrumentFinder), the built-in simulated
// mainframe included, and gives them as a list of dicts for the package to wrap: identity fields,
// "builtin", "description" and "resources" (best first), each (resource, transport, method). Ctrl-C ends
// the search. Needs the GIL (released while it searches).
pybind11::list findInstruments(std::chrono::milliseconds window, bool identify);

} // namespace pybinding
