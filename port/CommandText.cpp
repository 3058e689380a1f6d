#include "port/CommandText.h"

#include "port/PinFunctionTable.h"

namespace CommandText {
std::string pinHeader(std::int16_t pin) {
    return "DIG:PIN" + std::to_string(pin);
}

std::string pinFunction(const std::string& displayName, std::int16_t pin) {
    return pinHeader(pin) + ":FUNC " + PinFunctionTable::MnemonicFor(displayName);
}

std::string pinPolarity(const std::string& polarity, std::int16_t pin) {
    return pinHeader(pin) + ":POL " + polarity;
}

std::string outputData(const std::string& number) {
    return "DIG:OUTP:DATA " + number;
}

std::string inhibitMode(const std::string& word) {
    return "OUTP:INH:MODE " + word;
}

std::string pinFunctionQuery(std::int16_t pin) {
    return pinHeader(pin) + ":FUNC?";
}

std::string pinPolarityQuery(std::int16_t pin) {
    return pinHeader(pin) + ":POL?";
}

} // namespace CommandText
