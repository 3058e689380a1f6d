#pragma once

#include "port/PortSetup.h"

class PortSession;

#include <optional>
#include <string>

// Reads the port through the port's queries (port/PortQueries), joined into one program message where
// the instrument takes that, else one by one. A reply in no known form leaves its value unset; a query
// the instrument refuses throws PortFailure (InstrumentError) naming the step.
PortReading readPort(PortSession& session, bool withInput);
// Each pin's function (display names, pin 1 first, empty where unknown).
TextTable readPinFunctions(PortSession& session);
// The same queries as one program message, for a caller that asks them behind a command
// (PortSession::command), and what their joined reply says; nothing when the reply does not hold one
// field per query.
std::string portQueryText(bool withInput);
std::optional<PortReading> portReadingFrom(const std::string& reply, bool withInput);
std::string pinsQueryText();
std::optional<TextTable> pinFunctionsFrom(const std::string& reply);
// The input word, which throws PortFailure (Unreachable) when the reply is no word of the port.
int readInputWord(PortSession& session);
