#include "cli/Commands.h"

#include "cli/ApplyPlan.h"
#include "cli/CliSession.h"
#include "cli/ExitStatus.h"
#include "cli/PortSetup.h"
#include "cli/Profile.h"
#include "cli/ShowFormat.h"
#include "port/ConversionError.h"
#include "port/CouplingRule.h"
#include "port/KorvaneMF.h"
#include "port/OutputWord.h"
#include "transport/SCPI_DCPS.h"
#include "transport/TransportFailure.h"

#include <QFile>
#include <QSaveFile>
#include <charconv>
#include <functional>

namespace cli {
namespace {

[[noreturn]] void usageError(const std::string& what) {
    throw CliFailure(kUsageError, "pinwright-cli: " + what);
}

int status(const CliSession& session) {
    return session.instrumentErrorSeen() ? kInstrumentError : kSuccess;
}

std::int16_t pinOperand(const std::string& text) {
    if (text.size() != 1 || text[0] < '1' || text[0] > '7')
        usageError("the pin must be a number from 1 to 7, not \"" + text + "\"");
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
        if (text.size() != 7 || text.find_first_not_of("01") != std::string::npos)
            usageError("--bits wants seven 0/1 digits, pin 7 first, not \"" + text + "\"");
        std::array<std::int16_t, 7> digits{};
        for (std::size_t k = 0; k < 7; ++k)
            digits[k] = static_cast<std::int16_t>(text[6 - k] - '0');
        return outputWordFromDigits(digits);
    }
    int word = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), word);
    if (error != std::errc() || end != text.data() + text.size() || word < 0 || word > 127)
        usageError("the output word must be a whole number from 0 to 127, not \"" + text + "\"");
    return static_cast<std::int16_t>(word);
}

PortSetup readProfileFile(const std::string& fileName) {
    QFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::ReadOnly))
        usageError("cannot read the profile " + fileName + ": " + file.errorString().toStdString());
    return Profile::parse(file.readAll().toStdString(), fileName);
}

void writeProfileFile(const std::string& fileName, const std::string& text, std::ostream& out) {
    if (fileName == "-") {
        out << text;
        return;
    }
    // Written beside the target and renamed over it, so a failure never leaves half a profile.
    QSaveFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), static_cast<qint64>(text.size())) < 0 ||
        !file.commit())
        throw CliFailure(kInstrumentError,
                         "pinwright-cli: cannot write " + fileName + ": " + file.errorString().toStdString());
}

// The window's one-pin rule, on the instrument's present state. False (and each holder named) when
// another of pins 4 to 7 already holds the coupling function.
bool couplingAllowed(CliSession& cli, std::int16_t pin, const std::string& function) {
    if (pin < CouplingRule::kFirstPin || !CouplingRule::isCouplingFunction(function))
        return true;
    cli.beginStep("checking which pin holds " + function);
    TextTable functions;
    TextTable polarities;
    KorvaneMF::ReadAllPins(functions, polarities, cli.session());
    const auto holders = CouplingRule::pinsHolding(function, pin, functions);
    for (const std::int16_t holder : holders)
        cli.report(CouplingRule::clashMessage(function, holder) + " Pin " + std::to_string(pin) +
                   " was not changed.");
    return holders.empty();
}

int applyProfile(CliSession& cli, const PortSetup& profile, bool dryRun, std::ostream& out) {
    const auto present = readPort(cli, false);
    if (cli.instrumentErrorSeen())
        return kInstrumentError;
    const auto steps = planApply(profile, present.setup);
    if (dryRun) {
        for (const auto& step : steps)
            out << step.commandText() << '\n';
        return kSuccess;
    }
    std::string applied;
    const auto stop = [&](const ApplyStep& step) {
        cli.report("apply stopped at " + step.description +
                   "; applied before it: " + (applied.empty() ? std::string("nothing") : applied));
        return kInstrumentError;
    };
    for (const auto& step : steps) {
        if (step.kind == ApplyStep::Kind::Function && !couplingAllowed(cli, step.pin, step.value))
            return stop(step);
        cli.beginStep(step.description);
        auto& session = cli.session();
        switch (step.kind) {
        case ApplyStep::Kind::Function:
            KorvaneMF::SetPinFunction(step.value, step.pin, session);
            break;
        case ApplyStep::Kind::Polarity:
            KorvaneMF::SetPinPolarity(step.value, step.pin, session);
            break;
        case ApplyStep::Kind::OutputWord:
            KorvaneMF::SetOutputData(step.value, session);
            break;
        case ApplyStep::Kind::InhibitMode:
            KorvaneMF::SetInhibitMode(step.value, session);
            break;
        }
        if (cli.instrumentErrorSeen())
            return stop(step);
        applied += (applied.empty() ? "" : ", ") + step.description;
    }
    const auto readBack = readPort(cli, false);
    if (cli.instrumentErrorSeen())
        return kInstrumentError;
    const auto differences = findDifferences(profile, readBack.setup);
    for (const auto& line : differences)
        out << line << '\n';
    return differences.empty() ? kSuccess : kInstrumentError;
}

int saveProfile(CliSession& cli, const std::string& fileName, std::ostream& out) {
    const auto reading = readPort(cli, false);
    if (cli.instrumentErrorSeen())
        return kInstrumentError;
    std::string missing;
    for (std::size_t k = 0; k < reading.setup.pins.size(); ++k) {
        if (!reading.setup.pins[k].function)
            missing += " pin " + std::to_string(k + 1) + " function;";
        if (!reading.setup.pins[k].polarity)
            missing += " pin " + std::to_string(k + 1) + " polarity;";
    }
    if (!reading.setup.inhibitMode)
        missing += " inhibit mode;";
    if (!missing.empty()) {
        cli.report("not saved: the instrument's reply is not a known value for" +
                   missing.substr(0, missing.size() - 1));
        return kInstrumentError;
    }
    writeProfileFile(fileName, Profile::write(reading.setup), out);
    return kSuccess;
}

int sendScpi(CliSession& cli, const std::string& text, std::ostream& out) {
    auto& session = cli.session();
    cli.beginStep(text);
    if (text.find('?') == std::string::npos) {
        SCPI_DCPS::SendCommand(text, session);
        return status(cli);
    }
    const std::string reply = SCPI_DCPS::SendQuery(text, session);
    if (cli.instrumentErrorSeen())
        return kInstrumentError;
    // A query that was answered can still have queued an error; the error check follows it as it
    // follows every command.
    const std::string error = SCPI_DCPS::SendQuery("SYST:ERR?", session);
    if (error != SCPI_DCPS::kNoErrorReply) {
        cli.report(text + ": the instrument reported " + error);
        return kInstrumentError;
    }
    out << reply << '\n';
    return kSuccess;
}

} // namespace

CommandAction prepareCommand(const CliArguments& arguments) {
    const std::string& command = arguments.command;
    const std::vector<std::string> operands = arguments.operands;
    const bool json = arguments.json;
    const bool dryRun = arguments.dryRun;

    CommandAction action;
    if (command == "identify") {
        action = [=](CliSession& cli, std::ostream& out) {
            cli.beginStep("*IDN?");
            const std::string identity = SCPI_DCPS::SendQuery("*IDN?", cli.session());
            if (!cli.instrumentErrorSeen())
                out << identity << '\n';
            return status(cli);
        };
    } else if (command == "show") {
        action = [=](CliSession& cli, std::ostream& out) {
            const auto reading = readPort(cli, true);
            if (cli.instrumentErrorSeen())
                return int(kInstrumentError); // a partial reading is never printed as if it were whole
            out << (json ? showJson(cli.resource(), reading) : showText(reading));
            return int(kSuccess);
        };
    } else if (command == "pin") {
        const std::int16_t pin = pinOperand(operands[0]);
        const std::string function = functionOperand(operands[1]);
        std::optional<Polarity> polarity;
        if (operands.size() == 3 && !(polarity = polarityFromName(operands[2])))
            usageError("the polarity must be positive or negative, not \"" + operands[2] + "\"");
        action = [=](CliSession& cli, std::ostream&) {
            if (!couplingAllowed(cli, pin, function))
                return int(kInstrumentError);
            cli.beginStep("pin " + std::to_string(pin) + " function " + function);
            KorvaneMF::SetPinFunction(function, pin, cli.session());
            if (polarity) {
                cli.beginStep("pin " + std::to_string(pin) + " polarity " + polarityName(*polarity));
                KorvaneMF::SetPinPolarity(polarityWord(*polarity), pin, cli.session());
            }
            return status(cli);
        };
    } else if (command == "output") {
        const std::int16_t word = outputWordOperand(operands[0], arguments.bits);
        action = [=](CliSession& cli, std::ostream&) {
            cli.beginStep("output word " + std::to_string(word));
            KorvaneMF::SetOutputData(std::to_string(word), cli.session());
            return status(cli);
        };
    } else if (command == "input") {
        action = [=](CliSession& cli, std::ostream& out) {
            cli.beginStep("reading the input word");
            const std::string bits = KorvaneMF::GetInputData(cli.session());
            if (!cli.instrumentErrorSeen())
                out << bits << '\n';
            return status(cli);
        };
    } else if (command == "inhibit") {
        const auto mode = inhibitModeFromName(operands[0]);
        if (!mode)
            usageError("the inhibit mode must be live, latching or off, not \"" + operands[0] + "\"");
        action = [=](CliSession& cli, std::ostream&) {
            cli.beginStep("inhibit mode " + inhibitModeName(*mode));
            KorvaneMF::SetInhibitMode(inhibitModeWord(*mode), cli.session());
            return status(cli);
        };
    } else if (command == "save") {
        action = [=](CliSession& cli, std::ostream& out) {
            return saveProfile(cli, operands[0], out);
        };
    } else if (command == "apply" || command == "diff") {
        const PortSetup profile = readProfileFile(operands[0]);
        const bool diffOnly = command == "diff";
        action = [=](CliSession& cli, std::ostream& out) {
            if (!diffOnly)
                return applyProfile(cli, profile, dryRun, out);
            const auto reading = readPort(cli, false);
            if (cli.instrumentErrorSeen())
                return int(kInstrumentError);
            const auto differences = findDifferences(profile, reading.setup);
            for (const auto& line : differences)
                out << line << '\n';
            return differences.empty() ? int(kSuccess) : int(kInstrumentError);
        };
    } else if (command == "scpi") {
        std::string text;
        for (const auto& word : operands)
            text += (text.empty() ? "" : " ") + word;
        action = [=](CliSession& cli, std::ostream& out) {
            return sendScpi(cli, text, out);
        };
    } else {
        usageError("unknown command \"" + command + "\"");
    }
    return action;
}

int runOnResource(const CommandAction& action, const CliArguments& arguments, const std::string& resource,
                  std::ostream& out, std::ostream& err) {
    try {
        CliSession cli(resource, arguments.reset, err);
        return action(cli, out);
    } catch (const CliFailure& failure) {
        err << failure.what() << '\n';
        return failure.status();
    } catch (const ConversionError& error) {
        err << "pinwright-cli: " << resource << ": " << error.what() << '\n';
        return kInstrumentError;
    } catch (const transport::TransportFailure& error) {
        err << "pinwright-cli: " << resource << ": " << error.what() << '\n';
        return kUnreachable;
    } catch (const std::exception& error) {
        err << "pinwright-cli: " << resource << ": " << error.what() << '\n';
        return kInstrumentError;
    }
}

} // namespace cli
