#include "cli/PortSetup.h"

#include "cli/CliInstrument.h"
#include "cli/ExitStatus.h"
#include "port/CommandText.h"
#include "port/ConversionError.h"
#include "port/KorvaneMF.h"
#include "port/PinFunctionTable.h"

namespace cli {

namespace {

// Seven digits, pin 7 first, of the word in a reply.
std::string bitsOfReply(CliInstrument& instrument, const std::string& step, const std::string& reply) {
    TextTable bits;
    try {
        KorvaneMF::NumberToBits(reply, kPinCount, bits);
    } catch (const ConversionError& error) {
        instrument.fail(kInstrumentError, step, error.what());
    }
    std::string text;
    for (std::int16_t pin = kPinCount; pin >= 1; --pin)
        text += bits[pin];
    return text;
}

} // namespace

void readPins(CliInstrument& instrument, TextTable& functions, TextTable& polarities) {
    functions.resize(kPinCount);
    polarities.resize(kPinCount);
    for (std::int16_t pin = 1; pin <= kPinCount; ++pin) {
        const std::string name = "pin " + std::to_string(pin);
        functions[pin] = PinFunctionTable::DisplayNameFor(
            instrument.query(name + " function", CommandText::pinHeader(pin) + ":FUNC?"));
        polarities[pin] = instrument.query(name + " polarity", CommandText::pinHeader(pin) + ":POL?");
    }
}

std::string readInputBits(CliInstrument& instrument) {
    return bitsOfReply(instrument, "input word", instrument.query("input word", "DIG:INP:DATA?"));
}

PortReading readPort(CliInstrument& instrument, bool withInput) {
    PortReading reading;
    reading.outputBits =
        bitsOfReply(instrument, "output word", instrument.query("output word", "DIG:OUTP:DATA?"));
    TextTable functions;
    TextTable polarities;
    readPins(instrument, functions, polarities);
    const std::string inhibit = instrument.query("inhibit mode", "OUTP:INH:MODE?");

    reading.setup.outputWord = wordFromBits(reading.outputBits);
    for (std::int16_t pin = 1; pin <= kPinCount; ++pin) {
        auto& setup = reading.setup.pins[static_cast<std::size_t>(pin - 1)];
        if (!functions[pin].empty())
            setup.function = functions[pin];
        if (const auto polarity = polarityFromReply(polarities[pin]); polarity != Polarity::None)
            setup.polarity = polarity;
    }
    if (const auto mode = inhibitModeFromReply(inhibit); mode != InhibitMode::None)
        reading.setup.inhibitMode = mode;
    if (withInput)
        reading.inputBits = readInputBits(instrument);
    return reading;
}

int wordFromBits(const std::string& bitsPin7First) {
    int word = 0;
    for (const char bit : bitsPin7First)
        word = word * 2 + (bit == '1' ? 1 : 0);
    return word;
}

std::string polarityName(Polarity polarity) {
    return polarity == Polarity::Positive ? "positive" : "negative";
}

std::optional<Polarity> polarityFromName(const std::string& name) {
    if (name == "positive")
        return Polarity::Positive;
    if (name == "negative")
        return Polarity::Negative;
    if (const auto polarity = polarityFromReply(name); polarity != Polarity::None)
        return polarity;
    return std::nullopt;
}

std::string inhibitModeName(InhibitMode mode) {
    switch (mode) {
    case InhibitMode::Live:
        return "live";
    case InhibitMode::Latching:
        return "latching";
    case InhibitMode::Off:
        return "off";
    case InhibitMode::None:
        break;
    }
    return {};
}

std::optional<InhibitMode> inhibitModeFromName(const std::string& name) {
    for (const auto mode : {InhibitMode::Live, InhibitMode::Latching, InhibitMode::Off})
        if (name == inhibitModeName(mode) || name == inhibitModeWord(mode))
            return mode;
    return std::nullopt;
}

std::optional<std::string> functionFromName(const std::string& name) {
    if (!PinFunctionTable::MnemonicFor(name).empty())
        return name;
    if (const auto displayName = PinFunctionTable::DisplayNameFor(name); !displayName.empty())
        return displayName;
    return std::nullopt;
}

} // namespace cli
