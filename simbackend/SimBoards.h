#pragma once

#include "sim/Mainframe.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace simbackend {

class BoardStateFile;

// The built-in simulated mainframes behind SIM[board]::INSTR: one per board number, made on first use and
// kept while this owner or a session of the board lives, so that a session opened again finds the state
// the last one left. A front end (or a test) makes one and registers it (registerSimBackend); two owners
// share nothing. Given a state directory, each board's port settings also live in a file there between
// programs (BoardStateFile), as a mainframe that stays switched on keeps them between scripts.
// Thread-safe.
class SimBoards {
public:
    SimBoards() = default;
    explicit SimBoards(std::filesystem::path stateDirectory);
    ~SimBoards();
    SimBoards(const SimBoards&) = delete;
    SimBoards& operator=(const SimBoards&) = delete;

    // The board's mainframe, for whoever arranges or inspects it (tests: its state, traffic and faults).
    sim::Mainframe& board(unsigned number) { return *shared(number); }
    // The same, for a session that must keep it while it lives.
    std::shared_ptr<sim::Mainframe> shared(unsigned number);
    // Where the board's settings are kept between programs; nothing for boards of this program alone.
    std::shared_ptr<const BoardStateFile> stateFile(unsigned number) const;

private:
    std::optional<std::filesystem::path> stateDirectory_;
    std::mutex mutex_;
    std::map<unsigned, std::shared_ptr<sim::Mainframe>> boards_;
};

} // namespace simbackend
