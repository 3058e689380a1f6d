#include "cli/PortCommands.h"

#include "base/PrintableText.h"
#include "cli/CliInstrument.h"
#include "cli/ExitStatus.h"
#include "cli/ShowFormat.h"
#include "port/CommandText.h"
#include "port/KnownPort.h"
#include "port/OutputWord.h"
#include "port/PortNames.h"
#include "port/PortReader.h"
#include "port/PortRules.h"
#include "port/PortWrites.h"
#include "transport/Outcomes.h"

#include <array>
#include <charconv>

namespace cli::PortCommands {
namespace {

constexpr std::size_t kShownOperandChars = 80;
constexpr std::size_t kShownIdentityChars = 1000;

std::string shownOperand(const std::string& text) {
    return "\"" + base::printableText(text, kShownOperandChars, base::Unprintable::HexEscape) + "\"";
}

std::int16_t pinOperand(const std::string& text) {
    if (text.size() != 1 || text[0] < '1' || text[0] > '0' + kPinCount)
        usageError("the pin must be a number from 1 to " + std::to_string(kPinCount) + ", not " +
                   shownOperand(text));
    return static_cast<std::int16_t>(text[0] - '0');
}

std::string functionOperand(std::int16_t pin, const std::string& text) {
    const auto name = PortNames::functionFromName(text);
    if (!name)
        usageError("unknown function " + shownOperand(text) + "; use " + PortNames::functionChoices() +
                   ", in any letter case");
    if (!PortRules::offers(pin, *name))
        usageError(PortRules::notOfferedMessage(pin, *name));
    return *name;
}

std::int16_t outputWordOperand(const std::string& text, bool bits) {
    if (bits) {
        if (text.size() != kPinCount || text.find_first_not_of("01") != std::string::npos)
            usageError("--bits wants seven 0/1 digits, pin 7 first, not " + shownOperand(text));
        std::array<std::int16_t, kPinCount> digits{};
        for (std::size_t k = 0; k < digits.size(); ++k)
            digits[k] = static_cast<std::int16_t>(text[digits.size() - 1 - k] - '0');
        return outputWordFromDigits(digits);
    }
    int word = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), word);
    if (error != std::errc() || end != text.data() + text.size() || !PortRules::isOutputWord(word))
        usageError("the output word must be a whole number from 0 to " +
                   std::to_string(PortRules::kMaxOutputWord) + ", not " + shownOperand(text));
    return static_cast<std::int16_t>(word);
}

PreparedCommand reading(InstrumentAction action) {
    return {std::move(action), nullptr, false};
}

PreparedCommand changing(InstrumentAction action) {
    return {std::move(action), nullptr, true};
}

} // namespace

PreparedCommand prepareIdentify(const CliArguments&) {
    // The open has asked *IDN? already.
    return reading([](CliInstrument& instrument, std::ostream& out) {
        out << base::printableText(instrument.identity(), kShownIdentityChars, base::Unprintable::HexEscape)
            << '\n';
        return int(kSuccess);
    });
}

PreparedCommand prepareShow(const CliArguments& arguments) {
    const bool json = arguments.json;
    return reading([json](CliInstrument& instrument, std::ostream& out) {
        const auto reading = readPort(instrument, true);
        out << (json ? showJson(instrument.resource(), reading) : showText(reading));
        requireWholePort(instrument, reading.setup, "reading the port", "");
        if (!reading.inputWord)
            instrument.fail(kUnreachable, "input word",
                            "the instrument gave no known value for the input word");
        return int(kSuccess);
    });
}

PreparedCommand preparePin(const CliArguments& arguments) {
    const auto& operands = arguments.operands;
    const std::int16_t pin = pinOperand(operands[0]);
    const std::string function = functionOperand(pin, operands[1]);
    std::optional<Polarity> polarity;
    if (operands.size() == 3 && !(polarity = PortNames::polarityFromName(operands[2])))
        usageError("the polarity must be " + PortNames::polarityChoices() + ", in any letter case, not " +
                   shownOperand(operands[2]));
    const ChangeGuard guard = changeGuard(arguments);
    return changing([=](CliInstrument& instrument, std::ostream&) {
        PortWrites::setPin(instrument, pin, function, polarity, guard);
        return int(kSuccess);
    });
}

PreparedCommand prepareOutput(const CliArguments& arguments) {
    const int word = outputWordOperand(arguments.operands[0], arguments.bits);
    const ChangeGuard guard = changeGuard(arguments);
    return changing([=](CliInstrument& instrument, std::ostream&) {
        PortWrites::setOutputWord(instrument, word, guard);
        return int(kSuccess);
    });
}

PreparedCommand prepareInhibit(const CliArguments& arguments) {
    const auto mode = PortNames::inhibitModeFromName(arguments.operands[0]);
    if (!mode)
        usageError("the inhibit mode must be " + PortNames::inhibitModeChoices() +
                   ", in any letter case, not " + shownOperand(arguments.operands[0]));
    const ChangeGuard guard = changeGuard(arguments);
    return changing([=, mode = *mode](CliInstrument& instrument, std::ostream&) {
        PortWrites::setInhibitMode(instrument, mode, guard);
        return int(kSuccess);
    });
}

PreparedCommand prepareScpi(const CliArguments& arguments) {
    std::string text;
    for (const auto& word : arguments.operands)
        text += (text.empty() ? "" : " ") + word;
    if (text.find_first_not_of(" \t") == std::string::npos)
        usageError("scpi wants a command or query to send, not an empty text");
    if (text.find('?') == std::string::npos)
        return changing([text](CliInstrument& instrument, std::ostream&) {
            instrument.command(text, text);
            return int(kSuccess);
        });
    return reading([text](CliInstrument& instrument, std::ostream& out) {
        const std::string reply = instrument.query(text, text);
        // A query that was answered can still have queued an error; the error check follows it as it
        // follows every command.
        if (const std::string error = instrument.query(text, transport::kErrorQuery);
            error != transport::kNoErrorReply)
            instrument.fail(kInstrumentError, text, error);
        out << reply << '\n';
        return int(kSuccess);
    });
}

} // namespace cli::PortCommands
