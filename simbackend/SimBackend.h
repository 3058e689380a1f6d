#pragma once

namespace simbackend {

// Serves SIM[board]::INSTR from the built-in simulated mainframes (SimInstruments). A program that offers the
// simulator calls this once at start, before it opens any session.
void registerSimBackend();

} // namespace simbackend
