#include "cli/PortCommands.h"

#include "cli/CliInstrument.h"
#include "cli/ExitStatus.h"
#include "cli/PortSetup.h"
#include "cli/ShowFormat.h"
#include "port/CommandText.h"
#include "port/CouplingRule.h"
#include "port/OutputWord.h"

#include <array>
#include <charconv>

namespace cli::PortCommands {
namespace {

[[noreturn]] void usageError(const std::string& what) {
    throw CliFailure(kUsageError, "pinwright-cli: " + what);
}

std::int16_t pinOperand(const std::string& text) {
    if (text.size() != 1 || text[0] < '1' || text[0] > '0' + kPinCount)
        usageError("the pin must be a number from 1 to " + std::to_string(kPinCount) + ", not \"" + text +
                   "\"");
    return static_cast<std::int16_t>(text[0] - '0');
}

std::string functionOperand(const std::string& text) {
    const auto name = functionFromName(text);
    if (!name)
        usageError("unknown function \"" + text +
                   "\"; use Digital IO, Digital Input, Trigger Out, Trigger In, Fault, Inhibit, On Couple, "
                   "Off Couple or their mnemonics DIO, DINP, TOUT, TINP, FAUL, INH, ONC, OFFC");
    return *name;
}

std::int16_t outputWordOperand(const std::string& text, bool bits) {
    if (bits) {
        if (text.size() != kPinCount || text.find_first_not_of("01") != std::string::npos)
            usageError("--bits wants seven 0/1 digits, pin 7 first, not \"" + text + "\"");
        std::array<std::int16_t, kPinCount> digits{};
        for (std::size_t k = 0; k < digits.size(); ++k)
            digits[k] = static_cast<std::int16_t>(text[digits.size() - 1 - k] - '0');
        return outputWordFromDigits(digits);
    }
    int word = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), word);
    if (error != std::errc() || end != text.data() + text.size() || word < 0 || word > 127)
        usageError("the output word must be a whole number from 0 to 127, not \"" + text + "\"");
    return static_cast<std::int16_t>(word);
}

PreparedCommand reading(InstrumentAction action) {
    return {std::move(action), nullptr, false};
}

PreparedCommand changing(InstrumentAction action) {
    return {std::move(action), nullptr, true};
}

PreparedCommand oneSetting(std::string step, std::string text) {
    return changing([=](CliInstrument& instrument, std::ostream&) {
        instrument.command(step, text);
        return int(kSuccess);
    });
}

} // namespace

bool needsCouplingCheck(std::int16_t pin, const std::string& function) {
    return pin >= CouplingRule::kFirstPin && CouplingRule::isCouplingFunction(function);
}

void requireCouplingFree(CliInstrument& instrument, std::int16_t pin, const std::string& function) {
    if (!needsCouplingCheck(pin, function))
        return;
    TextTable functions;
    TextTable polarities;
    readPins(instrument, functions, polarities);
    requireCouplingFree(instrument, pin, function, functions);
}

void requireCouplingFree(const CliInstrument& instrument, std::int16_t pin, const std::string& function,
                         const TextTable& functions) {
    if (!needsCouplingCheck(pin, function))
        return;
    std::string clashes;
    for (const std::int16_t holder : CouplingRule::pinsHolding(function, pin, functions))
        clashes += CouplingRule::clashMessage(function, holder) + " ";
    if (!clashes.empty())
        instrument.fail(kInstrumentError, "pin " + std::to_string(pin) + " function",
                        clashes + "Pin " + std::to_string(pin) + " was not changed.");
}

PreparedCommand prepareIdentify(const CliArguments&) {
    return reading([](CliInstrument& instrument, std::ostream& out) {
        out << instrument.query("identity", "*IDN?") << '\n';
        return int(kSuccess);
    });
}

PreparedCommand prepareShow(const CliArguments& arguments) {
    const bool json = arguments.json;
    return reading([json](CliInstrument& instrument, std::ostream& out) {
        const auto reading = readPort(instrument, true);
        out << (json ? showJson(instrument.resource(), reading) : showText(reading));
        return int(kSuccess);
    });
}

PreparedCommand preparePin(const CliArguments& arguments) {
    const auto& operands = arguments.operands;
    const std::int16_t pin = pinOperand(operands[0]);
    const std::string function = functionOperand(operands[1]);
    std::optional<Polarity> polarity;
    if (operands.size() == 3 && !(polarity = polarityFromName(operands[2])))
        usageError("the polarity must be positive or negative, not \"" + operands[2] + "\"");
    return changing([=](CliInstrument& instrument, std::ostream&) {
        requireCouplingFree(instrument, pin, function);
        const std::string name = "pin " + std::to_string(pin);
        instrument.command(name + " function", CommandText::pinFunction(function, pin));
        if (polarity)
            instrument.command(name + " polarity", CommandText::pinPolarity(polarityWord(*polarity), pin));
        return int(kSuccess);
    });
}

PreparedCommand prepareOutput(const CliArguments& arguments) {
    const std::string word = std::to_string(outputWordOperand(arguments.operands[0], arguments.bits));
    return oneSetting("output word", CommandText::outputData(word));
}

PreparedCommand prepareInhibit(const CliArguments& arguments) {
    const auto mode = inhibitModeFromName(arguments.operands[0]);
    if (!mode)
        usageError("the inhibit mode must be live, latching or off, not \"" + arguments.operands[0] + "\"");
    return oneSetting("inhibit mode", CommandText::inhibitMode(inhibitModeWord(*mode)));
}

PreparedCommand prepareScpi(const CliArguments& arguments) {
    std::string text;
    for (const auto& word : arguments.operands)
        text += (text.empty() ? "" : " ") + word;
    if (text.find('?') == std::string::npos)
        return oneSetting(text, text);
    return reading([text](CliInstrument& instrument, std::ostream& out) {
        const std::string reply = instrument.query(text, text);
        // A query that was answered can still have queued an error; the error check follows it as it
        // follows every command.
        if (const std::string error = instrument.query(text, "SYST:ERR?"); error != transport::kNoErrorReply)
            instrument.fail(kInstrumentError, text, error);
        out << reply << '\n';
        return int(kSuccess);
    });
}

} // namespace cli::PortCommands
