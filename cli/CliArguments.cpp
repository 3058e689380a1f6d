#include "cli/CliArguments.h"

#include "cli/ExitStatus.h"

#include <array>
#include <charconv>

namespace cli {
namespace {

struct CommandShape {
    const char* name;
    std::size_t minOperands;
    std::size_t maxOperands;
    bool severalResources;
};

constexpr std::size_t kAny = 1000;

constexpr std::array<CommandShape, 11> kCommands{{
    {"find", 0, 0, false},
    {"identify", 0, 0, false},
    {"show", 0, 0, true},
    {"pin", 2, 3, false},
    {"output", 1, 1, false},
    {"input", 0, 0, false},
    {"inhibit", 1, 1, false},
    {"save", 1, 1, false},
    {"apply", 1, 1, true},
    {"diff", 1, 1, false},
    {"scpi", 1, kAny, false},
}};

[[noreturn]] void usageError(const std::string& what) {
    throw CliFailure(kUsageError, "pinwright-cli: " + what + " (pinwright-cli --help lists the usage)");
}

const CommandShape* findCommand(const std::string& name) {
    for (const auto& shape : kCommands)
        if (name == shape.name)
            return &shape;
    return nullptr;
}

int parseTimeout(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > 3600000)
        usageError("--timeout wants milliseconds from 1 to 3600000, not \"" + text + "\"");
    return value;
}

// "--name=value" or "--name value"; the index moves past what was taken.
std::string optionValue(const std::vector<std::string>& arguments, std::size_t& index,
                        const std::string& name) {
    const std::string& argument = arguments[index];
    if (argument.size() > name.size() && argument.compare(0, name.size() + 1, name + "=") == 0)
        return argument.substr(name.size() + 1);
    if (index + 1 >= arguments.size())
        usageError(name + " needs a value");
    return arguments[++index];
}

} // namespace

CliArguments CliArguments::parse(const std::vector<std::string>& arguments, const char* environmentResource) {
    CliArguments parsed;
    bool optionsEnded = false;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool isOption = !optionsEnded && argument.size() > 1 && argument[0] == '-';
        if (!isOption) {
            positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-r" || argument == "--resource" || argument.rfind("--resource=", 0) == 0) {
            parsed.resources.push_back(optionValue(arguments, i, argument == "-r" ? "-r" : "--resource"));
        } else if (argument == "--timeout" || argument.rfind("--timeout=", 0) == 0) {
            parsed.timeoutMs = parseTimeout(optionValue(arguments, i, "--timeout"));
            parsed.timeoutGiven = true;
        } else if (argument == "--reset" || argument == "--trace" || argument == "--json" ||
                   argument == "--dry-run" || argument == "--bits" || argument == "--no-identify") {
            bool& flag = argument == "--reset"         ? parsed.reset
                         : argument == "--trace"       ? parsed.trace
                         : argument == "--json"        ? parsed.json
                         : argument == "--bits"        ? parsed.bits
                         : argument == "--no-identify" ? parsed.noIdentify
                                                       : parsed.dryRun;
            flag = true;
        } else if (argument == "-h" || argument == "--help") {
            parsed.help = true;
        } else if (argument == "--version") {
            parsed.version = true;
        } else {
            usageError("unknown option " + argument);
        }
    }
    if (parsed.help || parsed.version)
        return parsed;

    if (positional.empty())
        usageError("no command given");
    parsed.command = positional.front();
    parsed.operands.assign(positional.begin() + 1, positional.end());
    const CommandShape* shape = findCommand(parsed.command);
    if (shape == nullptr)
        usageError("unknown command \"" + parsed.command + "\"");
    if (parsed.operands.size() < shape->minOperands || parsed.operands.size() > shape->maxOperands)
        usageError("wrong number of arguments for " + parsed.command);
    if (parsed.json && parsed.command != "show" && parsed.command != "find")
        usageError("--json belongs to show and find");
    if (parsed.noIdentify && parsed.command != "find")
        usageError("--no-identify belongs to find");
    if (parsed.dryRun && parsed.command != "apply")
        usageError("--dry-run belongs to apply");
    if (parsed.bits && parsed.command != "output")
        usageError("--bits belongs to output");
    if (parsed.command == "find") {
        if (!parsed.resources.empty())
            usageError("find looks for instruments and takes no -r");
        return parsed;
    }

    if (parsed.resources.empty() && environmentResource != nullptr && *environmentResource != '\0')
        parsed.resources.emplace_back(environmentResource);
    if (parsed.resources.empty())
        usageError("no resource: give -r RESOURCE or set PINWRIGHT_RESOURCE");
    if (parsed.resources.size() > 1 && !shape->severalResources)
        usageError(parsed.command + " works on one resource; only show and apply take several -r");
    return parsed;
}

std::string cliUsage() {
    return R"(Usage: pinwright-cli [OPTIONS] COMMAND [ARGUMENTS]

Programs the seven-pin digital control port of a Korvane modular power mainframe from scripts,
with the same checks as the pinwright window: every command is followed by a read of the
instrument's error queue, and an error is printed to standard error with the step that caused it.

Commands:
  find [--json] [--no-identify]
                              list the instruments this machine can reach (LAN, USB, GPIB, an
                              installed VISA library's own list, the simulated mainframe), one line
                              each as it is found: its identity and its resources, best first
                              (printed again, complete, if a resource of it turns up later).
                              Each resource is asked *IDN? unless --no-identify; --json prints one
                              JSON array at the end; --timeout sets how long to listen (default
                              1000). A way of finding that cannot work here is named on standard
                              error. Exit status 0 when something was found, 1 when nothing was
  identify                    print the instrument's identity reply
  show [--json]               print each pin's function and polarity, the output word and its bits
                              (pin 7 first), the input word and its bits, and the inhibit mode;
                              --json prints one JSON object (an array of them for several -r)
  pin N FUNCTION [positive|negative]
                              set pin N's function (a name as in the window, e.g. "On Couple", or
                              its SCPI mnemonic, e.g. ONC) and optionally its polarity. "On Couple"
                              and "Off Couple" may each be held by one of pins 4 to 7 only: the
                              port is read first and a second one is refused, naming the pin
                              that holds it
  output WORD                 set the output word, 0 to 127
  output --bits BITS          set the output word from seven 0/1 digits, pin 7 first (as the
                              window's "Pin 7654321"), e.g. 1010000
  input                       print the input word's bits, pin 7 first
  inhibit live|latching|off   set the inhibit mode
  save FILE                   write the port's set-up (functions, polarities, output word, inhibit
                              mode) to a profile file (JSON; "-" is standard output)
  apply [--dry-run] FILE      apply a profile, freeing the coupling functions first so the one-pin
                              rule holds on the way, then read everything back and print what
                              differs; --dry-run prints the commands it would send and sends none
  diff FILE                   print where the instrument differs from a profile
  scpi TEXT                   send one command or query as typed (a query ends in "?"), then
                              check the error queue; a query's reply is printed

Options:
  -r, --resource R   the instrument's VISA resource string (default: $PINWRIGHT_RESOURCE), e.g.
                     TCPIP0::10.1.2.3::INSTR, TCPIP0::host::5025::SOCKET, GPIB0::5::INSTR, or
                     SIM0::INSTR for the built-in simulated mainframe. show and apply take several
                     -r and work on every instrument in parallel, one result block each
  --timeout MS       I/O time-out in milliseconds (default 5000; for find, how long to listen for
                     instruments, default 1000)
  --reset            send *RST;*CLS after connecting (never sent otherwise)
  --trace            print every message written and read to standard error, one line each:
                     monotonic microseconds, resource, -> (written) or <- (read), the text with
                     control characters escaped. PINWRIGHT_TRACE=FILE appends the same to FILE
  -h, --help         show this help and exit
  --version          show the version and exit

Standard output carries results only; messages go to standard error.

Exit status:
  0  success
  1  the instrument reported an error or refused a setting, or the instrument differs from the
     profile (apply, diff), or find found nothing
  2  usage error: wrong command line or a profile file that is refused; nothing was sent
  3  the instrument could not be reached or stopped answering
With several -r, the highest status of any instrument.
)";
}

} // namespace cli
