#pragma once

#include "cli/CommandTable.h"

#include <string>

// input: the input word once, watched, or waited for; a row of the command table.
namespace cli::InputCommand {

PreparedCommand prepare(const CliArguments& arguments);

// Whether seven bits (pin 7 first) match a pattern of seven 0, 1 or x (either letter case), x matching
// both.
bool matches(const std::string& pattern, const std::string& bits);

} // namespace cli::InputCommand
