#include "port/CommandText.h"

#include "port/PinFunctionTable.h"

namespace CommandText {
namespace {

std::string PinHeader(std::int16_t pin) {
    return "DIG:PIN" + std::to_string(pin);
}

} // namespace

std::string PinFunction(const std::string& displayName, std::int16_t pin) {
    return PinHeader(pin) + ":FUNC " + PinFunctionTable::MnemonicFor(displayName);
}

std::string PinPolarity(const std::string& polarity, std::int16_t pin) {
    return PinHeader(pin) + ":POL " + polarity;
}

std::string OutputData(const std::string& number) {
    return "DIG:OUTP:DATA " + number;
}

std::string InhibitMode(const std::string& word) {
    return "OUTP:INH:MODE " + word;
}

} // namespace CommandText
