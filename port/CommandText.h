#pragma once

// The SCPI text of each setting command of the digital port, as KorvaneMF sends it. A caller that only
// shows what would be sent (a dry run) builds the same text here.

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

} // namespace CommandText
