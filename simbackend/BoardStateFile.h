#pragma once

#include "sim/Mainframe.h"

#include <filesystem>
#include <functional>
#include <optional>

namespace simbackend {

// Where one built-in board keeps its port settings between programs, so that a pinwright-cli call finds
// what the last one left, as a mainframe that stays switched on does: "board<N>.state" in a directory of
// the user's own, beside "board<N>.lock". Every message is run under an exclusive lock on the lock file
// (load, run, save), and the new state replaces the old by rename, so that two calls at once each see
// the other's whole change and a crash never leaves half a file. The state file's content is not
// trusted: one that is not a regular file of this user, or does not read back as settings the port can
// hold, is ignored (the board keeps what it has, its power-on state in a new program) and replaced by the
// next save.
class BoardStateFile {
public:
    BoardStateFile(std::filesystem::path directory, unsigned board);

    // Runs `change` on the mainframe with the saved settings in place first, and saves what it leaves
    // when that differs from them, all under the lock. Throws std::runtime_error, with the path and the
    // reason, when the directory, the lock or the save fails; the mainframe has run the change by then
    // only if the save failed.
    void update(sim::Mainframe& mainframe, const std::function<void()>& change) const;

    // The saved settings, when there are usable ones (without the lock: for tests and tools).
    std::optional<sim::PortState> load() const;

private:
    void save(const sim::PortState& state) const;

    std::filesystem::path directory_;
    std::filesystem::path statePath_;
    std::filesystem::path lockPath_;
};

// The directory the built-in boards keep their settings in: $XDG_STATE_HOME/pinwright when that is an
// absolute path, else $HOME/.local/state/pinwright; nothing when neither says where.
std::optional<std::filesystem::path> userStateDirectory();

// Forgets every board's saved settings in the directory, each under its board's lock, so that every
// board starts from its power-on state in the next program. Returns how many were forgotten; throws
// std::runtime_error when one cannot be removed.
std::size_t forgetBoards(const std::filesystem::path& directory);

} // namespace simbackend
