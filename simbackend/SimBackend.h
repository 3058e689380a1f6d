#pragma once

namespace simbackend {

// The name the simulator's finder is registered by.
inline constexpr const char* kSimFinder = "simulator";

// Serves SIM[board]::INSTR from the built-in simulated mainframes (SimInstruments), and offers SIM0::INSTR
// to finding. A program that offers the simulator calls this once at start, before it opens any session.
void registerSimBackend();

} // namespace simbackend
