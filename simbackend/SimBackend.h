#pragma once

#include <memory>

namespace simbackend {

class SimBoards;

// The name the simulator's finder is registered by.
inline constexpr const char* kSimFinder = "simulator";

// Serves SIM[board]::INSTR from these boards, and offers SIM0::INSTR to finding. A program that offers the
// simulator calls this at start, before it opens any session; a later call serves later sessions from
// other boards (a test's own). The boards live as long as the registration or a session of them.
void registerSimBackend(std::shared_ptr<SimBoards> boards);

} // namespace simbackend
