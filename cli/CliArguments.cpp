#include "cli/CliArguments.h"

#include "cli/CommandTable.h"
#include "cli/ExitStatus.h"
#include "cli/FindCommand.h"

#include <QCommandLineParser>
#include <algorithm>
#include <charconv>
#include <functional>

namespace cli {
namespace {

constexpr std::size_t kCommandColumn = 30;
constexpr std::size_t kOptionColumn = 21;

[[noreturn]] void commandLineError(const std::string& what) {
    usageError(what + " (pinwright-cli --help lists the usage)");
}

int number(const std::string& option, const std::string& text, int low, int high, const char* unit) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        commandLineError(option + " wants " + unit + " from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not \"" + text + "\"");
    return value;
}

using Store = std::function<void(CliArguments&, const std::string& value)>;

struct OptionDefinition {
    const char* shortName; // or nullptr
    const char* longName;
    const char* valueName; // nullptr for a flag
    std::string help;
    Store store;
};

Store flag(bool CliArguments::*member) {
    return [member](CliArguments& arguments, const std::string&) {
        arguments.*member = true;
    };
}

Store milliseconds(int CliArguments::*member, const char* option, int low) {
    return [=](CliArguments& arguments, const std::string& value) {
        arguments.*member = number(option, value, low, 3600000, "milliseconds");
    };
}

// Every option, global or a command's own (the command table says whose); --help lists them in this order.
const std::vector<OptionDefinition>& options() {
    static const std::vector<OptionDefinition> table{
        {"r", "resource", "R",
         "the instrument's VISA resource string (default: $PINWRIGHT_RESOURCE), e.g.\n"
         "TCPIP0::10.1.2.3::INSTR, TCPIP0::host::5025::SOCKET, GPIB0::5::INSTR, or\n"
         "SIM0::INSTR for the built-in simulated mainframe. identify, show, apply\n"
         "and diff take several -r and work on the instruments at once, one result\n"
         "each in the order of the -r options",
         [](CliArguments& arguments, const std::string& value) {
             arguments.resources.push_back(value);
         }},
        {"j", "jobs", "N",
         "instruments opened and worked on at once (default " + std::to_string(CliArguments{}.jobs) + ")",
         [](CliArguments& arguments, const std::string& value) {
             arguments.jobs = number("--jobs", value, 1, 1024, "a count");
         }},
        {nullptr, "timeout", "MS",
         "I/O time-out in milliseconds (default " + std::to_string(CliArguments{}.timeoutMs) +
             "); for input --wait also\n"
             "how long to wait for the pattern; for find how long to listen (default\n" +
             std::to_string(FindCommandOptions{}.window.count()) + ")",
         [](CliArguments& arguments, const std::string& value) {
             milliseconds(&CliArguments::timeoutMs, "--timeout", 1)(arguments, value);
             arguments.timeoutGiven = true;
         }},
        {nullptr, "lock-timeout", "MS",
         "how long pin, output, inhibit, apply and scpi (of a command) wait for the\n"
         "instrument's exclusive lock, where its transport has one (VXI-11,\n"
         "HiSLIP), before giving up with status 3 (default " +
             std::to_string(CliArguments{}.lockTimeoutMs) + ")",
         milliseconds(&CliArguments::lockTimeoutMs, "--lock-timeout", 0)},
        {nullptr, "no-lock", nullptr, "change the port without taking the instrument's lock",
         flag(&CliArguments::noLock)},
        {nullptr, "reset", nullptr,
         "send *RST;*CLS after connecting (never sent otherwise; apply --dry-run\n"
         "sends nothing and plans against the state a reset would leave)",
         flag(&CliArguments::reset)},
        {nullptr, "force", nullptr,
         "(pin, output, inhibit, apply) change the port even when the instrument\n"
         "is not a known mainframe or its port did not read back whole",
         flag(&CliArguments::force)},
        {nullptr, "trace", nullptr,
         "print every message written and read to standard error, one line each:\n"
         "monotonic microseconds, resource, -> (written) or <- (read), the text with\n"
         "control characters escaped. PINWRIGHT_TRACE=FILE appends the same to FILE",
         flag(&CliArguments::trace)},
        {nullptr, "json", nullptr, "(show, apply, diff, find) print JSON", flag(&CliArguments::json)},
        {nullptr, "no-identify", nullptr, "(find) list what is found without asking *IDN?",
         flag(&CliArguments::noIdentify)},
        {nullptr, "include-builtin", nullptr, "(find) list the built-in simulated mainframe too",
         flag(&CliArguments::includeBuiltIn)},
        {nullptr, "dry-run", nullptr, "(apply) print the plan, send nothing", flag(&CliArguments::dryRun)},
        {nullptr, "bits", nullptr, "(output) the word as seven 0/1 digits, pin 7 first",
         flag(&CliArguments::bits)},
        {nullptr, "watch", nullptr, "(input) print every change until interrupted",
         flag(&CliArguments::watch)},
        {nullptr, "wait", "PATTERN", "(input) wait for the bits to match PATTERN, at most --timeout MS",
         [](CliArguments& arguments, const std::string& value) {
             arguments.waitPattern = value;
         }},
        {nullptr, "interval", "MS",
         "(input --watch, --wait) time between reads (default " + std::to_string(CliArguments{}.intervalMs) +
             ")",
         milliseconds(&CliArguments::intervalMs, "--interval", 1)},
        {"h", "help", nullptr, "show this help and exit", flag(&CliArguments::help)},
        {nullptr, "version", nullptr, "show the version and exit", flag(&CliArguments::version)},
    };
    return table;
}

bool hasOption(const CommandDefinition& command, const OptionDefinition& option) {
    return std::find(command.options.begin(), command.options.end(), option.longName) !=
           command.options.end();
}

// "show, apply and diff"
std::string commandNames(const std::function<bool(const CommandDefinition&)>& chosen) {
    std::vector<std::string> names;
    for (const auto& command : commandTable())
        if (chosen(command))
            names.emplace_back(command.name);
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

QCommandLineOption qtOption(const OptionDefinition& option) {
    QStringList names;
    if (option.shortName != nullptr)
        names << option.shortName;
    names << option.longName;
    const QString help = QString::fromStdString(option.help);
    return option.valueName != nullptr ? QCommandLineOption(names, help, option.valueName)
                                       : QCommandLineOption(names, help);
}

std::string dashed(const QString& name) {
    return (name.size() == 1 ? "-" : "--") + name.toStdString();
}

// Lines of `text` after a first column of `width` characters; `head` opens the first line, or stands on
// a line of its own when it does not fit the column.
std::string columns(const std::string& head, const std::string& text, std::size_t width) {
    std::string out = head;
    std::size_t start = 0;
    bool first = true;
    if (head.size() + 1 >= width) {
        out += '\n';
        first = false;
    }
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        out += first ? std::string(width - head.size(), ' ') : std::string(width, ' ');
        out += text.substr(start, end - start) + '\n';
        first = false;
        start = end + 1;
    }
    return out;
}

} // namespace

CliArguments CliArguments::parse(const std::vector<std::string>& arguments, const char* environmentResource) {
    QCommandLineParser parser;
    for (const auto& option : options())
        parser.addOption(qtOption(option));
    QStringList list{"pinwright-cli"};
    for (const auto& argument : arguments)
        list << QString::fromStdString(argument);
    if (!parser.parse(list)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.empty())
            commandLineError("unknown option " + dashed(unknown.front()));
        commandLineError(parser.errorText().toStdString());
    }

    CliArguments parsed;
    for (const auto& option : options())
        for (const QString& value :
             option.valueName != nullptr
                 ? parser.values(option.longName)
                 : (parser.isSet(option.longName) ? QStringList{QString()} : QStringList{}))
            option.store(parsed, value.toStdString());
    if (parsed.help || parsed.version)
        return parsed;

    QStringList positional = parser.positionalArguments();
    if (positional.empty())
        commandLineError("no command given");
    const std::string name = positional.takeFirst().toStdString();
    parsed.command = findCommand(name);
    if (parsed.command == nullptr)
        commandLineError("unknown command \"" + name + "\"");
    for (const QString& operand : positional)
        parsed.operands.push_back(operand.toStdString());
    const CommandDefinition& command = *parsed.command;
    if (parsed.operands.size() < command.minOperands || parsed.operands.size() > command.maxOperands)
        commandLineError("wrong number of arguments for " + name);
    for (const auto& option : options())
        if (const std::string owners =
                commandNames([&](const CommandDefinition& c) { return hasOption(c, option); });
            !owners.empty() && parser.isSet(option.longName) && !hasOption(command, option))
            commandLineError(std::string("--") + option.longName + " belongs to " + owners);

    if (command.resources == ResourceUse::None) {
        if (!parsed.resources.empty())
            commandLineError(name + " takes no -r");
        return parsed;
    }
    if (parsed.resources.empty() && environmentResource != nullptr && *environmentResource != '\0')
        parsed.resources.emplace_back(environmentResource);
    if (parsed.resources.empty())
        commandLineError("no resource: give -r RESOURCE or set PINWRIGHT_RESOURCE");
    if (parsed.resources.size() > 1 && command.resources != ResourceUse::Several)
        commandLineError(
            name + " works on one resource; only " +
            commandNames([](const CommandDefinition& c) { return c.resources == ResourceUse::Several; }) +
            " take several -r");
    return parsed;
}

std::string cliUsage() {
    std::string text = R"(Usage: pinwright-cli [OPTIONS] COMMAND [ARGUMENTS]

Programs the seven-pin digital control port of a Korvane modular power mainframe from scripts,
with the same checks as the pinwright window: every command is followed by a read of the
instrument's error queue, and an error is printed to standard error with the step that caused it.

Commands:
)";
    for (const auto& command : commandTable())
        text += columns("  " + std::string(command.name) + (*command.synopsis != '\0' ? " " : "") +
                            command.synopsis,
                        command.help, kCommandColumn);
    text += "\nOptions:\n";
    for (const auto& option : options()) {
        std::string head = "  ";
        head += option.shortName != nullptr ? std::string("-") + option.shortName + ", --" : "--";
        head += option.longName;
        if (option.valueName != nullptr)
            head += std::string(" ") + option.valueName;
        text += columns(head, option.help, kOptionColumn);
    }
    text += R"(
Standard output carries results only; messages go to standard error.

pin, output, inhibit and apply change only a Korvane mainframe whose port is known (MF-7) and
whose port read back whole; otherwise they stop with status 3 and send nothing (--force goes on).

Exit status:
  0  success
  1  the instrument reported an error or refused a setting, the port's present state forbids
     the change, the instrument differs from the profile (apply, diff), input --wait timed
     out, or find found nothing
  2  the command line or a local file: a wrong command line (a resource string that can never
     be valid among them), a profile that is refused, an output or trace file that cannot be
     written; nothing was sent
  3  the instrument could not be reached or used: no answer, no lock in time, not a known
     mainframe, or a port that did not read back whole
With several -r, the highest status of any instrument.
)";
    return text;
}

} // namespace cli
