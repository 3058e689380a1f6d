#pragma once

// The SCPI text of each setting command of the digital port, as KorvaneMF sends it. A caller that only
// shows what would be sent (a dry run) builds the same text here.

#include <cstdint>
#include <string>

namespace CommandText {

// "DIG:PIN4:FUNC TOUT"; a name outside the pin function table gives the header and a blank only.
std::string PinFunction(const std::string& displayName, std::int16_t pin);
std::string PinPolarity(const std::string& polarity, std::int16_t pin);
std::string OutputData(const std::string& number);
std::string InhibitMode(const std::string& word);

} // namespace CommandText
