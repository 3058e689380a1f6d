#pragma once

// The port's set-up as values: what a profile holds, what a read of the port found, and which of its
// settings a read could not tell.

#include "port/InhibitMode.h"
#include "port/Polarity.h"
#include "port/PortFacts.h"
#include "port/TextTable.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

// One pin as a profile names it. Unset fields are left as they are by apply and not compared by diff.
struct PinSetup {
    std::optional<std::string> function; // display name from the pin function table
    std::optional<Polarity> polarity;
};

// Pins are indexed 0 for pin 1. Read from an instrument, an unset value is one it did not give in a
// known form.
struct PortSetup {
    std::array<PinSetup, kPinCount> pins;
    std::optional<int> outputWord; // 0 to 127
    std::optional<InhibitMode> inhibitMode;
};

// Everything a read of the port brings: the set-up, plus the input word when it was asked.
struct PortReading {
    PortSetup setup;
    std::optional<int> inputWord;
    // Read in one program message: the instrument takes the port's queries joined.
    bool joined = false;
};

// Each pin's function as the one-pin rule reads it: display names, pin 1 first, empty where unset.
TextTable pinFunctions(const PortSetup& setup);

// The settings of a read that came back in no known form ("pin 3 function", "output word"), in port order.
std::vector<std::string> unknownSettings(const PortSetup& setup);

// Seven digits, pin 7 first, of a word, and back.
std::string bitsOfWord(int word);
int wordFromBits(const std::string& bitsPin7First);
