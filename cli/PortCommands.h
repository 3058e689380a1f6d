#pragma once

#include "cli/CommandTable.h"

// The commands that read or set one part of the port, or pass SCPI through: rows of the command table.
namespace cli::PortCommands {

PreparedCommand prepareIdentify(const CliArguments& arguments);
PreparedCommand prepareShow(const CliArguments& arguments);
PreparedCommand preparePin(const CliArguments& arguments);
PreparedCommand prepareOutput(const CliArguments& arguments);
PreparedCommand prepareInhibit(const CliArguments& arguments);
PreparedCommand prepareScpi(const CliArguments& arguments);

} // namespace cli::PortCommands
