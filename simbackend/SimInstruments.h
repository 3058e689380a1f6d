#pragma once

#include "sim/Mainframe.h"

namespace simbackend {

// The built-in simulated mainframes behind SIM[board]::INSTR: one per board number, created on first use and
// kept until the program ends, so that a session opened again finds the state the last one left. Tests reach
// a mainframe's traffic record, state and fault injector through here.
class SimInstruments {
public:
    static sim::Mainframe& board(unsigned number);
    // The serial number a board's mainframe reports in its identity: SIM0001 for board 0, SIM0002 for
    // board 1...
    static std::string serialNumber(unsigned number);
};

} // namespace simbackend
