#pragma once

#include "port/PortSetup.h"

#include <optional>
#include <string>

namespace cli {

class CliInstrument;

// Reads the port through the port's queries (port/PortQueries), joined into one program message where
// the instrument takes that, else one by one. A reply in no known form leaves its value unset; a query
// the instrument refuses throws CliFailure naming the step.
PortReading readPort(CliInstrument& instrument, bool withInput);
// Each pin's function (display names, pin 1 first, empty where unknown).
TextTable readPinFunctions(CliInstrument& instrument);
// The same queries as one program message, for a caller that asks them behind a command
// (CliInstrument::command), and what their joined reply says; nothing when the reply does not hold one
// field per query.
std::string portQueryText(bool withInput);
std::optional<PortReading> portReadingFrom(const std::string& reply, bool withInput);
std::string pinsQueryText();
std::optional<TextTable> pinFunctionsFrom(const std::string& reply);
// The input word, which throws CliFailure when the reply is no word of the port.
int readInputWord(CliInstrument& instrument);

} // namespace cli
