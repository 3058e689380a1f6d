#include "port/PortSetup.h"

TextTable pinFunctions(const PortSetup& setup) {
    TextTable functions;
    functions.resize(kPinCount);
    for (std::size_t k = 0; k < setup.pins.size(); ++k)
        functions[k + 1] = setup.pins[k].function.value_or("");
    return functions;
}

std::vector<std::string> unknownSettings(const PortSetup& setup) {
    std::vector<std::string> unknown;
    if (!setup.outputWord)
        unknown.emplace_back("output word");
    for (std::size_t k = 0; k < setup.pins.size(); ++k) {
        const std::string pin = "pin " + std::to_string(k + 1);
        if (!setup.pins[k].function)
            unknown.push_back(pin + " function");
        if (!setup.pins[k].polarity)
            unknown.push_back(pin + " polarity");
    }
    if (!setup.inhibitMode)
        unknown.emplace_back("inhibit mode");
    return unknown;
}

std::string bitsOfWord(int word) {
    std::string bits;
    for (int pin = kPinCount; pin >= 1; --pin)
        bits += (word >> (pin - 1)) & 1 ? '1' : '0';
    return bits;
}

int wordFromBits(const std::string& bitsPin7First) {
    int word = 0;
    for (const char bit : bitsPin7First)
        word = word * 2 + (bit == '1' ? 1 : 0);
    return word;
}
