#pragma once

#include "port/PortSetup.h"

namespace cli {

class CliInstrument;

// Before pinwright-cli changes anything: the identity is a mainframe whose port it knows
// (port/KnownMainframes) and the port reads back whole, so that no plan is made from an unknown state.
// Otherwise CliFailure(kUnreachable) naming what was found and saying that nothing was sent, unless
// `force`. Returns the port as read.
PortReading readPortForChange(CliInstrument& instrument, bool force);

// A port read that left settings unknown: CliFailure(kUnreachable) at `step` naming them.
void requireWholePort(const CliInstrument& instrument, const PortSetup& setup, const std::string& step,
                      const std::string& consequence);

} // namespace cli
