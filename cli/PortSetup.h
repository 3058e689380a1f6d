#pragma once

#include "port/InhibitMode.h"
#include "port/Polarity.h"
#include "port/PortFacts.h"
#include "port/TextTable.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace cli {

class CliInstrument;

// One pin as a profile names it. Unset fields are left as they are by apply and not compared by diff.
struct PinSetup {
    std::optional<std::string> function; // display name from the pin function table
    std::optional<Polarity> polarity;
};

// The port's set-up: what a profile holds and what save reads. Pins are indexed 0 for pin 1.
struct PortSetup {
    std::array<PinSetup, kPinCount> pins;
    std::optional<int> outputWord; // 0 to 127
    std::optional<InhibitMode> inhibitMode;
};

// Everything show prints: the set-up as read, plus the input word. A value the instrument did not give
// in a recognised form stays unset.
struct PortReading {
    PortSetup setup;
    std::string outputBits; // pin 7 first
    std::string inputBits;  // pin 7 first
    // Read in one program message: the instrument takes the port's queries joined.
    bool joined = false;
};

// Reads the port through the command set in the window's load order (output word, the seven pins,
// inhibit mode), then the input word when asked. Throws CliFailure naming the step that failed.
PortReading readPort(CliInstrument& instrument, bool withInput);
// Each pin's function (display name, empty when unknown) and polarity word, as the window reads them.
void readPins(CliInstrument& instrument, TextTable& functions, TextTable& polarities);
// The queries of readPort and readPins as one program message, for a caller that asks them behind a
// command (CliInstrument::command), and what their joined reply says; nothing when the reply does not
// hold one field per query.
std::string portQueryText(bool withInput);
std::optional<PortReading> portReadingFrom(CliInstrument& instrument, const std::string& reply,
                                           bool withInput);
std::string pinsQueryText();
std::optional<TextTable> pinFunctionsFrom(const std::string& reply); // display names, pin 1 first
// The input word's seven digits, pin 7 first.
std::string readInputBits(CliInstrument& instrument);

// Seven digits, pin 7 first, as a number.
int wordFromBits(const std::string& bitsPin7First);

std::string polarityName(Polarity polarity);                       // "positive", "negative"
std::optional<Polarity> polarityFromName(const std::string& name); // also "POS", "NEG"
std::string inhibitModeName(InhibitMode mode);                     // "live", "latching", "off"
std::optional<InhibitMode> inhibitModeFromName(const std::string& name);
// A display name, or a mnemonic translated to it; none for anything else.
std::optional<std::string> functionFromName(const std::string& name);

} // namespace cli
