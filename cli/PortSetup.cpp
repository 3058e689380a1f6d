#include "cli/PortSetup.h"

#include "cli/CliSession.h"
#include "port/KorvaneMF.h"
#include "port/PinFunctionTable.h"

namespace cli {

PortReading readPort(CliSession& cli, bool withInput) {
    auto& session = cli.session();
    PortReading reading;
    cli.beginStep("reading the output word");
    TextTable outputBits;
    KorvaneMF::GetOutputData(outputBits, session);
    cli.beginStep("reading the pins");
    TextTable functions;
    TextTable polarities;
    KorvaneMF::ReadAllPins(functions, polarities, session);
    cli.beginStep("reading the inhibit mode");
    const std::string inhibit = KorvaneMF::GetInhibitMode(session);

    for (std::int16_t pin = 7; pin >= 1; --pin)
        reading.outputBits += outputBits[pin];
    reading.setup.outputWord = wordFromBits(reading.outputBits);
    for (std::int16_t pin = 1; pin <= 7; ++pin) {
        auto& setup = reading.setup.pins[static_cast<std::size_t>(pin - 1)];
        if (!functions[pin].empty())
            setup.function = functions[pin];
        if (polarities[pin] == "POS")
            setup.polarity = Polarity::Positive;
        else if (polarities[pin] == "NEG")
            setup.polarity = Polarity::Negative;
    }
    if (const auto mode = inhibitModeFromReply(inhibit); mode != InhibitMode::None)
        reading.setup.inhibitMode = mode;

    if (withInput) {
        cli.beginStep("reading the input word");
        reading.inputBits = KorvaneMF::GetInputData(session);
    }
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
    if (name == "positive" || name == "POS")
        return Polarity::Positive;
    if (name == "negative" || name == "NEG")
        return Polarity::Negative;
    return std::nullopt;
}

std::string polarityWord(Polarity polarity) {
    return polarity == Polarity::Positive ? "POS" : "NEG";
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
