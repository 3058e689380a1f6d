#pragma once

#include "cli/CommandTable.h"
#include "port/TextTable.h"

#include <cstdint>
#include <string>

// The commands that read or set one part of the port, or pass SCPI through: rows of the command table.
namespace cli::PortCommands {

PreparedCommand prepareIdentify(const CliArguments& arguments);
PreparedCommand prepareShow(const CliArguments& arguments);
PreparedCommand preparePin(const CliArguments& arguments);
PreparedCommand prepareOutput(const CliArguments& arguments);
PreparedCommand prepareInhibit(const CliArguments& arguments);
PreparedCommand prepareScpi(const CliArguments& arguments);

// The one-pin rule on the instrument's present state, as the window checks it: the seven pins are read
// and setting `function` on `pin` is refused (status 1, naming every pin that holds it) when another of
// pins 4 to 7 holds that coupling function.
void requireCouplingFree(CliInstrument& instrument, std::int16_t pin, const std::string& function);
// The same rule on pin functions already read (display names, pin 1 first).
void requireCouplingFree(const CliInstrument& instrument, std::int16_t pin, const std::string& function,
                         const TextTable& functions);
// Whether setting `function` on `pin` is subject to the rule at all.
bool needsCouplingCheck(std::int16_t pin, const std::string& function);

} // namespace cli::PortCommands
