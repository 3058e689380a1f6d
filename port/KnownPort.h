#pragma once

#include "port/PortSetup.h"

#include <string>

class PortSession;

// Before a front end changes anything: the identity is a mainframe whose port it knows
// (port/KnownMainframes) and the port reads back whole, so that no plan is made from an unknown state.
// Otherwise PortFailure (Unreachable) naming what was found and saying that nothing was sent
// (`nothingSent` ends the message), unless `force`. Returns the port as read.
PortReading readPortForChange(PortSession& session, bool force,
                              const std::string& nothingSent = "; nothing was sent");

// A port read that left settings unknown: PortFailure (Unreachable) at `step` naming them.
void requireWholePort(const PortSession& session, const PortSetup& setup, const std::string& step,
                      const std::string& consequence);
