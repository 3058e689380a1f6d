#pragma once

#include "cli/CommandTable.h"

namespace cli::BuiltinBoardCommand {

// reset-builtin: the built-in simulated mainframes (SIM0::INSTR...) forget the settings earlier calls
// left them in, and start from their power-on state in the next call.
PreparedCommand prepareReset(const CliArguments& arguments);

} // namespace cli::BuiltinBoardCommand
