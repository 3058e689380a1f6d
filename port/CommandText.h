#pragma once

// The SCPI text of each command and query of the digital port, as KorvaneMF sends it. A caller that
// only shows what would be sent (a dry run), or asks several queries at once, builds the same text here.

#include <cstdint>
#include <string>

namespace CommandText {

// "DIG:PIN4", the header every per-pin command and query starts with.
std::string pinHeader(std::int16_t pin);

// "DIG:PIN4:FUNC TOUT"; a name outside the pin function table gives the header and a blank only.
std::string pinFunction(const std::string& displayName, std::int16_t pin);
std::string pinPolarity(const std::string& polarity, std::int16_t pin);
std::string outputData(const std::string& number);
std::string inhibitMode(const std::string& word);

std::string pinFunctionQuery(std::int16_t pin); // "DIG:PIN4:FUNC?"
std::string pinPolarityQuery(std::int16_t pin);
inline constexpr const char* kOutputDataQuery = "DIG:OUTP:DATA?";
inline constexpr const char* kInputDataQuery = "DIG:INP:DATA?";
inline constexpr const char* kInhibitModeQuery = "OUTP:INH:MODE?";

} // namespace CommandText
