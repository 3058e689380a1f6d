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
    std::function<void(ServerOptions&, std::string_view)> apply;
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

const std::vector<Option>& options() {
    static const std::vector<Option> table = {
        {"--address", "A", "listen on the numeric IPv4 or IPv6 address A (default 127.0.0.1)",
         [](ServerOptions& o, std::string_view value) {
             o.address = value;
         }},
        {"--port", "P", "serve raw SCPI on TCP port P (default 5025; 0 picks a free port)",
         [](ServerOptions& o, std::string_view value) {
             o.socketPort = parsePort("--port", value);
         }},
        {"--vxi11", "", "also serve VXI-11: a portmapper on port 111 and the core channel",
         [](ServerOptions& o, std::string_view) {
             o.vxi11 = true;
         }},
        {"--vxi11-port", "P",
         "serve the VXI-11 core channel on port P (default 0: a free port); implies --vxi11",
         [](ServerOptions& o, std::string_view value) {
             o.vxi11 = true;
             o.vxi11Port = parsePort("--vxi11-port", value);
         }},
        {"--portmap-port", "P",
         "serve the portmapper on port P instead of 111 (third-party clients ask 111 only)",
         [](ServerOptions& o, std::string_view value) {
             o.portmapPort = parsePort("--portmap-port", value);
         }},
        {"--hislip", "", "also serve HiSLIP (hislip0) on port 4880",
         [](ServerOptions& o, std::string_view) {
             o.hislip = true;
         }},
        {"--hislip-port", "P", "serve HiSLIP on port P instead of 4880; implies --hislip",
         [](ServerOptions& o, std::string_view value) {
             o.hislip = true;
             o.hislipPort = parsePort("--hislip-port", value);
         }},
        {"--help", "", "show this text",
         [](ServerOptions& o, std::string_view) {
             o.help = true;
         }},
    };
    return table;
}

} // namespace

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
        option->apply(result, value);
    }
    return result;
}

std::string serverUsage() {
    std::string text = "Usage: pinwright-sim [options]\n"
                       "Serves a simulated Korvane MF-7 mainframe until Ctrl-C or SIGTERM.\n\n";
    for (const Option& option : options()) {
        std::string left = "  " + std::string(option.name);
        if (!option.argument.empty()) {
            left += " " + std::string(option.argument);
        }
        left.resize(std::max<std::size_t>(left.size() + 2, 18), ' ');
        text += left + std::string(option.help) + "\n";
    }
    return text;
}

} // namespace sim
