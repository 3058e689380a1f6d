#pragma once

#include "cli/CommandTable.h"

// The commands that work with a whole port profile: rows of the command table.
namespace cli::ProfileCommands {

PreparedCommand prepareSave(const CliArguments& arguments);
PreparedCommand prepareApply(const CliArguments& arguments);
PreparedCommand prepareDiff(const CliArguments& arguments);

} // namespace cli::ProfileCommands
