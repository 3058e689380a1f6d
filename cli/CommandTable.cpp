#include "cli/CommandTable.h"

#include "cli/BuiltinBoardCommand.h"
#include "cli/FindCommand.h"
#include "cli/InputCommand.h"
#include "cli/PortCommands.h"
#include "cli/ProfileCommands.h"

#include <algorithm>
#include <vector>

namespace cli {
namespace {

constexpr std::size_t kAnyCount = 1000;

PreparedCommand prepareFind(const CliArguments& arguments) {
    const FindCommandOptions options{arguments.json,
                                     arguments.timeoutGiven ? std::chrono::milliseconds(arguments.timeoutMs)
                                                            : FindCommandOptions{}.window,
                                     !arguments.noIdentify, arguments.includeBuiltIn};
    return {nullptr, [options](std::ostream& out, std::ostream& err) {
                return runFindCommand(options, out, err);
            }};
}

const std::vector<CommandDefinition>& table() {
    static const std::vector<CommandDefinition> commands{
        {"find",
         "[--json] [--no-identify] [--include-builtin]",
         "list the instruments this machine can reach (LAN, USB, GPIB, an\n"
         "installed VISA library's own list), one line each as it is found:\n"
         "its identity and its resources, best first (printed again, complete,\n"
         "if a resource of it turns up later). --include-builtin lists the\n"
         "built-in simulated mainframe too, marked (built in). Each resource is\n"
         "asked *IDN? unless --no-identify; --json prints one JSON array at the\n"
         "end, ordered by maker, model, serial and address; --timeout sets how\n"
         "long to listen (default 1000). A way of finding that cannot work here\n"
         "is named on standard error. Exit status 0 when something was found,\n"
         "1 when nothing was",
         0,
         0,
         ResourceUse::None,
         {"json", "no-identify", "include-builtin"},
         prepareFind},
        {"identify",
         "",
         "print the instrument's identity reply",
         0,
         0,
         ResourceUse::Several,
         {},
         PortCommands::prepareIdentify},
        {"show",
         "[--json]",
         "print each pin's function and polarity, the output word and its bits\n"
         "(pin 7 first), the input word and its bits, and the inhibit mode;\n"
         "--json prints one JSON object (an array of them for several -r)",
         0,
         0,
         ResourceUse::Several,
         {"json"},
         PortCommands::prepareShow},
        {"pin",
         "[--force] N FUNCTION [positive|negative]",
         "set pin N's function (a name as in the window, e.g. \"On Couple\", or\n"
         "its SCPI mnemonic, e.g. ONC, in any letter case) and optionally its\n"
         "polarity. Each pin offers the four common functions; Fault is on pin\n"
         "1 only, Inhibit on pin 3 only, On Couple and Off Couple on pins 4 to\n"
         "7, each held by one pin at most; while pin 1 is Fault, pin 2 is its\n"
         "common and cannot be set. The port is read first and a change a\n"
         "rule forbids is refused, naming the rule",
         2,
         3,
         ResourceUse::One,
         {"force"},
         PortCommands::preparePin},
        {"output",
         "[--force] WORD | --bits BITS",
         "set the output word, 0 to 127, or with --bits from seven 0/1 digits,\n"
         "pin 7 first (as the window's \"Pin 7654321\"), e.g. 1010000",
         1,
         1,
         ResourceUse::One,
         {"bits", "force"},
         PortCommands::prepareOutput},
        {"input",
         "[--watch | --wait PATTERN [--timeout MS]] [--interval MS]",
         "print the input word's bits, pin 7 first. --watch prints one line per\n"
         "change (monotonic microseconds, the word, its bits) until interrupted\n"
         "(SIGINT or SIGTERM: status 0); --wait waits until the bits match\n"
         "PATTERN (seven of 0, 1 or x, pin 7 first): status 0 and the line of the\n"
         "match, or status 1 when --timeout MS passes first. Both read the word\n"
         "every --interval MS (default 100)",
         0,
         0,
         ResourceUse::One,
         {"watch", "wait", "interval"},
         InputCommand::prepare},
        {"inhibit",
         "[--force] live|latching|off",
         "set the inhibit mode (also LIVE, LATC, OFF, in any letter case)",
         1,
         1,
         ResourceUse::One,
         {"force"},
         PortCommands::prepareInhibit},
        {"save",
         "FILE",
         "write the port's set-up (functions, polarities, output word, inhibit\n"
         "mode) to a profile file (JSON; \"-\" is standard output)",
         1,
         1,
         ResourceUse::One,
         {},
         ProfileCommands::prepareSave},
        {"apply",
         "[--dry-run] [--json] [--force] FILE",
         "read the port, check the profile against it and the port's rules\n"
         "(refused whole, before anything is sent, saying what would fix it),\n"
         "send only the settings that differ (in an order that keeps the rules\n"
         "true after every step), read back and print what changed, or\n"
         "\"unchanged\"; --dry-run prints that plan and sends nothing (not even\n"
         "--reset's *RST;*CLS); --json prints a report per instrument",
         1,
         1,
         ResourceUse::Several,
         {"dry-run", "json", "force"},
         ProfileCommands::prepareApply},
        {"diff",
         "[--json] FILE",
         "print where the instrument differs from a profile, or \"no\n"
         "differences\"",
         1,
         1,
         ResourceUse::Several,
         {"json"},
         ProfileCommands::prepareDiff},
        {"scpi",
         "TEXT",
         "send one command or query as typed (a query ends in \"?\"), then\n"
         "check the error queue; a query's reply is printed",
         1,
         kAnyCount,
         ResourceUse::One,
         {},
         PortCommands::prepareScpi},
        {"reset-builtin",
         "",
         "put the built-in simulated mainframes (SIM0::INSTR, SIM1::INSTR...)\n"
         "back to their power-on state. Between calls they keep their port's\n"
         "settings in $XDG_STATE_HOME/pinwright (else ~/.local/state/pinwright),\n"
         "one file per board, as a mainframe left switched on keeps them",
         0,
         0,
         ResourceUse::None,
         {},
         BuiltinBoardCommand::prepareReset},
    };
    return commands;
}

} // namespace

std::span<const CommandDefinition> commandTable() {
    return table();
}

const CommandDefinition* findCommand(std::string_view name) {
    const auto& commands = table();
    const auto found =
        std::find_if(commands.begin(), commands.end(),
                     [&](const CommandDefinition& definition) { return name == definition.name; });
    return found == commands.end() ? nullptr : &*found;
}

} // namespace cli
