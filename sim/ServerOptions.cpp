#include "sim/ServerOptions.h"

#include "sim/Mainframe.h"

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <vector>

namespace sim {

namespace {

struct Option {
    std::string_view name;
    std::string_view argument; // empty for a flag
    std::string_view help;
    std::function<void(ServerOptions&, std::string_view name, std::string_view value)> apply;
    // The option this one means nothing without, and the member that says it was given.
    std::string_view needs = {};
    bool ServerOptions::*needed = nullptr;
};

// Rows for options that mean nothing unless the server they belong to is served.
Option needing(Option option, std::string_view needs, bool ServerOptions::*needed) {
    option.needs = needs;
    option.needed = needed;
    return option;
}

// The address is given to bind() as it is, and the help promises a numeric one: a host name would be
// looked up and might be any of several addresses.
std::string parseAddress(std::string_view option, std::string_view text) {
    const std::string address(text);
    in6_addr scratch{};
    if (::inet_pton(AF_INET, address.c_str(), &scratch) != 1 &&
        ::inet_pton(AF_INET6, address.c_str(), &scratch) != 1) {
        throw std::invalid_argument(std::string(option) + " wants a numeric IPv4 or IPv6 address, not \"" +
                                    address + "\"");
    }
    return address;
}

std::chrono::milliseconds parseMilliseconds(std::string_view option, std::string_view text) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value > 60000) {
        throw std::invalid_argument(std::string(option) + " wants milliseconds 0..60000, not \"" +
                                    std::string(text) + "\"");
    }
    return std::chrono::milliseconds(value);
}

std::uint16_t parsePort(std::string_view option, std::string_view text) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value > 65535) {
        throw std::invalid_argument(std::string(option) + " wants a port number 0..65535, not \"" +
                                    std::string(text) + "\"");
    }
    return static_cast<std::uint16_t>(value);
}

std::size_t parseCount(std::string_view option, std::string_view text, unsigned most = 100000) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value < 1 || value > most) {
        throw std::invalid_argument(std::string(option) + " wants a count 1.." + std::to_string(most) +
                                    ", not \"" + std::string(text) + "\"");
    }
    return value;
}

// Seconds with up to three decimals ("30", "0.25"), so tests can ask for short limits.
std::chrono::milliseconds parseSeconds(std::string_view option, std::string_view text) {
    const auto refuse = [&] {
        return std::invalid_argument(std::string(option) +
                                     " wants seconds 0..86400 (\"0.5\" allowed), not \"" + std::string(text) +
                                     "\"");
    };
    const auto point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
    unsigned seconds = 0;
    const auto [end, ec] = std::from_chars(whole.data(), whole.data() + whole.size(), seconds);
    if (whole.empty() || ec != std::errc{} || end != whole.data() + whole.size() || seconds > 86400 ||
        (point != std::string_view::npos && (fraction.empty() || fraction.size() > 3))) {
        throw refuse();
    }
    long long millis = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        const char digit = i < fraction.size() ? fraction[i] : '0';
        if (digit < '0' || digit > '9') {
            throw refuse();
        }
        millis = millis * 10 + (digit - '0');
    }
    const auto total = std::chrono::seconds(seconds) + std::chrono::milliseconds(millis);
    if (total > std::chrono::seconds(86400)) {
        throw refuse();
    }
    return total;
}

// Rows for the usual kinds of option, each naming the member it sets, so that an option's name is
// written once: in its row, and from there in the message about a bad value.
Option flagOption(std::string_view name, std::string_view help, bool ServerOptions::*member,
                  bool value = true) {
    return {name, "", help, [member, value](ServerOptions& o, std::string_view, std::string_view) {
                o.*member = value;
            }};
}

// A port option may also switch on the server it belongs to.
Option portOption(std::string_view name, std::string_view help, std::uint16_t ServerOptions::*member,
                  bool ServerOptions::*enables = nullptr) {
    return {name, "P", help,
            [member, enables](ServerOptions& o, std::string_view option, std::string_view value) {
                o.*member = parsePort(option, value);
                if (enables != nullptr) {
                    o.*enables = true;
                }
            }};
}

Option countOption(std::string_view name, std::string_view help, std::size_t ServerOptions::*member,
                   unsigned most = 100000) {
    return {name, "N", help,
            [member, most](ServerOptions& o, std::string_view option, std::string_view value) {
                o.*member = parseCount(option, value, most);
            }};
}

Option secondsOption(std::string_view name, std::string_view help,
                     std::chrono::milliseconds ServerOptions::*member) {
    return {name, "S", help, [member](ServerOptions& o, std::string_view option, std::string_view value) {
                o.*member = parseSeconds(option, value);
            }};
}

const std::vector<Option>& options() {
    using O = ServerOptions;
    static const std::vector<Option> table = {
        {"--address", "A", "listen on the numeric IPv4 or IPv6 address A (default 127.0.0.1)",
         [](ServerOptions& o, std::string_view option, std::string_view value) {
             o.address = parseAddress(option, value);
         }},
        portOption(
            "--port",
            "serve raw SCPI on TCP port P (default 5025; 0 picks a free port), the next mainframes on P+1, "
            "P+2...",
            &O::socketPort),
        countOption(
            "--count",
            "serve N independent mainframes (default 1, at most 256), serial numbers SIM0001, SIM0002...: "
            "raw SCPI on N consecutive ports, HiSLIP sub-addresses hislip0 to hislip(N-1) on the one "
            "HiSLIP port, VXI-11 devices inst0 to inst(N-1) on the one VXI-11 port",
            &O::count, ServerOptions::kMaxCount),
        countOption("--first-serial",
                    "number the mainframes' serial numbers from N (default 1: SIM0001), so that several "
                    "simulators on one network are told apart",
                    &O::firstSerial, 9999 - ServerOptions::kMaxCount),
        flagOption("--vxi11", "also serve VXI-11: a portmapper on port 111 and the core channel", &O::vxi11),
        portOption("--vxi11-port",
                   "serve the VXI-11 core channel on port P (default 0: a free port); implies --vxi11",
                   &O::vxi11Port, &O::vxi11),
        needing(portOption("--portmap-port",
                           "serve the portmapper on port P instead of 111 (third-party clients ask 111 only)",
                           &O::portmapPort),
                "--vxi11", &O::vxi11),
        flagOption("--hislip", "also serve HiSLIP (hislip0, and one sub-address per mainframe) on port 4880",
                   &O::hislip),
        portOption("--hislip-port", "serve HiSLIP on port P instead of 4880; implies --hislip",
                   &O::hislipPort, &O::hislip),
        needing(flagOption("--no-udp-portmap",
                           "serve the portmapper over TCP only, so that VXI-11 broadcasts find nothing "
                           "(default: UDP too)",
                           &O::udpPortmap, false),
                "--vxi11", &O::vxi11),
        flagOption("--no-announce",
                   "do not announce the services over mDNS (default: announced on an address other than "
                   "loopback)",
                   &O::announce, false),
        countOption("--socket-clients", "serve at most N raw SCPI clients at once (default 8)",
                    &O::socketClients),
        countOption(
            "--lan-clients",
            "serve at most N connections at once on each of VXI-11, the portmapper and HiSLIP (default 32)",
            &O::lanClients),
        secondsOption("--stall-timeout",
                      "drop a connection whose message stays unfinished, or whose reply stays untaken, for S "
                      "seconds (default 30; 0: never)",
                      &O::stallTimeout),
        secondsOption("--idle-timeout", "drop a connection with no traffic for S seconds (default 0: never)",
                      &O::idleTimeout),
        countOption("--links-per-connection", "allow N VXI-11 links on one connection (default 16)",
                    &O::linksPerConnection),
        countOption("--max-links", "allow N VXI-11 links in all (default 256)", &O::maxLinks),
        {"--reply-delay", "MS",
         "make every reply wait MS milliseconds (0..60000, default 0) before it can be read, as a real "
         "mainframe takes a few to answer",
         [](ServerOptions& o, std::string_view option, std::string_view value) {
             o.replyDelay = parseMilliseconds(option, value);
         }},
        flagOption("--refuse-root-specifier",
                   "behave as an instrument that does not take SCPI's leading ':' (the root specifier): a "
                   "message unit that starts with one is an undefined header (-113), the others of its "
                   "message still run",
                   &O::refuseRootSpecifier),
        flagOption("--one-unit-per-message",
                   "behave as an instrument that takes one message unit per message: the first unit runs, "
                   "the rest of the message is a syntax error (-102)",
                   &O::oneUnitPerMessage),
        flagOption("--small-input-buffer",
                   "behave as an instrument whose input buffer holds 64 bytes: of a longer message only the "
                   "units that end within its first 64 bytes run, the rest is lost and queues an input "
                   "buffer overrun (-363)",
                   &O::smallInputBuffer),
        flagOption("--help", "show this text (also -h)", &O::help),
        flagOption("--version", "show the version", &O::version),
    };
    return table;
}

} // namespace

ConnectionLimits socketLimits(const ServerOptions& options) {
    return {options.socketClients, options.stallTimeout, options.idleTimeout};
}

ConnectionLimits lanLimits(const ServerOptions& options) {
    return {options.lanClients, options.stallTimeout, options.idleTimeout};
}

namespace {

// The ports of this run's own TCP servers, each once: two servers of one simulator on one port would
// have the second fail as if another program held it. Port 0 (a free one) never clashes.
void requireDistinctPorts(const ServerOptions& options) {
    std::map<unsigned, std::string> servers;
    const auto claim = [&servers](unsigned port, const std::string& server) {
        if (port == 0) {
            return;
        }
        const auto [taken, fresh] = servers.emplace(port, server);
        if (!fresh) {
            throw std::invalid_argument("port " + std::to_string(port) + " is asked for twice, by " +
                                        taken->second + " and by " + server + "; give one of them another");
        }
    };
    for (std::size_t i = 0; i < options.count && options.socketPort != 0; ++i) {
        claim(options.socketPort + i, options.count == 1
                                          ? std::string("--port")
                                          : "--port (mainframe " + std::to_string(i + 1) + ")");
    }
    if (options.vxi11) {
        claim(options.portmapPort, "the portmapper (--portmap-port, default 111)");
        claim(options.vxi11Port, "--vxi11-port");
    }
    if (options.hislip) {
        claim(options.hislipPort, "HiSLIP (--hislip-port, default 4880)");
    }
}

} // namespace

ServerOptions parseServerOptions(std::span<const std::string_view> arguments) {
    ServerOptions result;
    std::set<const Option*> given;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view name = arguments[i] == "-h" ? std::string_view("--help") : arguments[i];
        std::string_view value;
        bool inlineValue = false;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != std::string_view::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
            inlineValue = true;
        }
        const auto& table = options();
        const auto option =
            std::find_if(table.begin(), table.end(), [&](const Option& o) { return o.name == name; });
        if (option == table.end()) {
            throw std::invalid_argument("unknown option \"" + std::string(arguments[i]) + "\"");
        }
        if (option->argument.empty()) {
            if (inlineValue) {
                throw std::invalid_argument(std::string(name) + " takes no value");
            }
        } else if (!inlineValue) {
            if (i + 1 >= arguments.size()) {
                throw std::invalid_argument(std::string(name) + " needs a value");
            }
            value = arguments[++i];
        }
        option->apply(result, option->name, value);
        given.insert(&*option);
    }
    if (result.help || result.version) {
        return result;
    }
    for (const Option* option : given) {
        if (option->needed != nullptr && !(result.*option->needed)) {
            throw std::invalid_argument(std::string(option->name) + " needs " + std::string(option->needs));
        }
    }
    if (result.socketPort != 0 && result.socketPort + (result.count - 1) > 65535) {
        throw std::invalid_argument("--count " + std::to_string(result.count) + " from --port " +
                                    std::to_string(result.socketPort) + " goes past port 65535");
    }
    requireDistinctPorts(result);
    return result;
}

std::string usageHint() {
    return " (pinwright-sim --help lists the usage)";
}

void applyBehaviour(const ServerOptions& options, Mainframe& mainframe) {
    FaultInjector& faults = mainframe.faults();
    if (options.replyDelay.count() > 0) {
        faults.inject(Fault::DelayReply, FaultInjector::kForever, options.replyDelay);
    }
    for (const auto& [wanted, habit] : {std::pair{options.refuseRootSpecifier, Fault::RefuseRootSpecifier},
                                        std::pair{options.oneUnitPerMessage, Fault::OneUnitPerMessage},
                                        std::pair{options.smallInputBuffer, Fault::SmallInputBuffer}}) {
        if (wanted) {
            faults.inject(habit);
        }
    }
}

namespace {

constexpr std::size_t kHelpColumn = 28;
constexpr std::size_t kLineWidth = 100;

// Breaks a help text at blanks so that no line passes kLineWidth; follow-on lines start at kHelpColumn.
std::string wrapped(std::string_view help, std::size_t column) {
    std::string text;
    std::size_t lineLength = column;
    while (!help.empty()) {
        const auto blank = help.find(' ');
        const std::string_view word = help.substr(0, blank);
        if (lineLength > column && lineLength + 1 + word.size() > kLineWidth) {
            text += "\n" + std::string(kHelpColumn, ' ');
            lineLength = kHelpColumn;
        } else if (lineLength > column) {
            text += ' ';
            ++lineLength;
        }
        text += word;
        lineLength += word.size();
        help = blank == std::string_view::npos ? std::string_view{} : help.substr(blank + 1);
    }
    return text;
}

} // namespace

std::string serverUsage() {
    std::string text =
        "Usage: pinwright-sim [options]\n"
        "Serves simulated Korvane MF-7 mainframes (one unless --count says more) until Ctrl-C or\n"
        "SIGTERM.\n\n";
    for (const Option& option : options()) {
        std::string left = "  " + std::string(option.name);
        if (!option.argument.empty()) {
            left += " " + std::string(option.argument);
        }
        left.resize(std::max<std::size_t>(left.size() + 2, kHelpColumn), ' ');
        const std::string help = option.needs.empty()
                                     ? std::string(option.help)
                                     : std::string(option.help) + "; needs " + std::string(option.needs);
        text += left + wrapped(help, left.size()) + "\n";
    }
    text +=
        "\nExit status: 0 stopped by Ctrl-C or SIGTERM, 1 a server could not start (for example its port\n"
        "is taken by another program), 2 usage error.\n";
    return text;
}

} // namespace sim
