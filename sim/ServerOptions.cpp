#include "sim/ServerOptions.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <stdexcept>
#include <vector>

namespace sim {

namespace {

struct Option {
    std::string_view name;
    std::string_view argument; // empty for a flag
    std::string_view help;
    std::function<void(ServerOptions&, std::string_view name, std::string_view value)> apply;
};

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
         [](ServerOptions& o, std::string_view, std::string_view value) {
             o.address = value;
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
        portOption("--portmap-port",
                   "serve the portmapper on port P instead of 111 (third-party clients ask 111 only)",
                   &O::portmapPort),
        flagOption("--hislip", "also serve HiSLIP (hislip0, and one sub-address per mainframe) on port 4880",
                   &O::hislip),
        portOption("--hislip-port", "serve HiSLIP on port P instead of 4880; implies --hislip",
                   &O::hislipPort, &O::hislip),
        flagOption(
            "--no-udp-portmap",
            "serve the portmapper over TCP only, so that VXI-11 broadcasts find nothing (default: UDP too)",
            &O::udpPortmap, false),
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
        flagOption("--help", "show this text", &O::help),
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

ServerOptions parseServerOptions(std::span<const std::string_view> arguments) {
    ServerOptions result;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view name = arguments[i];
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
    }
    if (result.socketPort != 0 && result.socketPort + (result.count - 1) > 65535) {
        throw std::invalid_argument("--count " + std::to_string(result.count) + " from --port " +
                                    std::to_string(result.socketPort) + " goes past port 65535");
    }
    return result;
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
        text += left + wrapped(option.help, left.size()) + "\n";
    }
    text +=
        "\nExit status: 0 stopped by Ctrl-C or SIGTERM, 1 a server could not start (for example its port\n"
        "is taken), 2 usage error.\n";
    return text;
}

} // namespace sim
