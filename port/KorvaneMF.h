#pragma once

// The mainframe's digital-port command set: pin functions and polarities, the port's output and
// input words and the inhibit mode, as SCPI text through the transport's checked command and query.
// Holds no state; the session is always the last argument.

#include "port/TextTable.h"
#include "transport/InstrumentSession.h"

#include <cstdint>
#include <string>

namespace KorvaneMF {

std::string GetPinFunction(const std::int16_t& pin, InstrumentSession& session);
void ReadAllPins(TextTable& functions, TextTable& polarities, InstrumentSession& session);
void SetPinFunction(const std::string& displayName, const std::int16_t& pin, InstrumentSession& session);
std::string GetPinPolarity(const std::int16_t& pin, InstrumentSession& session);
void SetPinPolarity(const std::string& polarity, const std::int16_t& pin, InstrumentSession& session);

// Element k of `bits` becomes "1" or "0", the digit of bit k-1 of the number's magnitude. Throws
// ConversionError before touching the table when the text is not a 16-bit number.
void NumberToBits(const std::string& number, const std::int16_t& count, TextTable& bits);
void GetOutputData(TextTable& bits, InstrumentSession& session);
std::string GetInputData(InstrumentSession& session); // seven digits, pin 7 first
void SetOutputData(const std::string& number, InstrumentSession& session);
std::string GetInhibitMode(InstrumentSession& session);
void SetInhibitMode(const std::string& mode, InstrumentSession& session);

} // namespace KorvaneMF
