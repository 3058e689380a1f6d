#include "visa/ResourceName.h"

#include "base/AsciiCase.h"
#include "base/PrintableText.h"
#include "protocol/HislipMessage.h"
#include "visa/VisaError.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cctype>
#include <charconv>
#include <netinet/in.h>
#include <vector>

namespace visa {
namespace {

constexpr unsigned kMaxBoard = 65535;
constexpr unsigned kMaxGpibPrimary = 30;
constexpr unsigned kMaxGpibSecondary = 31;
constexpr unsigned kMaxUsbInterface = 255;
constexpr std::size_t kMaxFieldLength = 255;
// Error descriptions quote the text; a pasted page of junk should not fill the message box.
constexpr std::size_t kMaxQuotedLength = BadResourceName::kMaxQuotedChars;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isAlnum(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}
bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), isDigit);
}

std::string quote(std::string_view text) {
    const std::string cut =
        text.size() > kMaxQuotedLength ? "...\" (" + std::to_string(text.size()) + " characters)" : "\"";
    return "\"" + base::printableText(text, kMaxQuotedLength, base::Unprintable::HexEscape) + cut;
}

// Decimal, or hexadecimal with a 0x prefix where allowed; no signs, blanks or empty text.
std::optional<unsigned> parseNumber(std::string_view text, unsigned max, bool allowHex) {
    int base = 10;
    if (allowHex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty() || !std::all_of(text.begin(), text.end(), [base](char c) {
            return base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : isDigit(c);
        }))
        return std::nullopt;
    unsigned long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size() || value > max)
        return std::nullopt;
    return static_cast<unsigned>(value);
}

// Insertions, deletions, substitutions and swaps of neighbours needed to turn one text into the other.
std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    ResourceName parse() {
        checkCharacters();
        const auto fields = split();
        ResourceName name;
        name.text = std::string(text_);
        parseInterface(fields.front(), name);

        std::vector<std::string_view> params(fields.begin() + 1, fields.end());
        if (!params.empty())
            takeResourceClass(params, name);

        switch (name.interfaceType) {
        case InterfaceType::Gpib:
            parseGpib(params, name);
            break;
        case InterfaceType::Tcpip:
            parseTcpip(params, name);
            break;
        case InterfaceType::Usb:
            parseUsb(params, name);
            break;
        case InterfaceType::Asrl:
        case InterfaceType::Sim:
            expectCount(params, 0, 0, "nothing but the board number and INSTR");
            break;
        }
        return name;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw BadResourceName(quote(text_) + " is not a valid resource string: " + what);
    }

    void checkCharacters() const {
        if (text_.empty())
            fail("it is empty");
        for (const char c : text_) {
            const auto u = static_cast<unsigned char>(c);
            if (u == ' ' || u == '\t')
                fail("it contains a blank");
            if (u < 0x20 || u >= 0x7F)
                fail("it contains a character that is not printable ASCII");
        }
    }

    // Fields are separated by "::"; a bracketed IPv6 address is one field although it holds "::" itself.
    std::vector<std::string_view> split() const {
        std::vector<std::string_view> fields;
        std::size_t pos = 0;
        for (;;) {
            std::size_t end;
            if (text_[pos] == '[') {
                const auto close = text_.find(']', pos);
                if (close == std::string_view::npos)
                    fail("a \"[\" is never closed by \"]\"");
                end = close + 1;
                if (end < text_.size() && text_.substr(end, 2) != "::")
                    fail("\"]\" must end its field");
            } else {
                end = text_.find("::", pos);
            }
            const auto field = text_.substr(pos, end == std::string_view::npos ? end : end - pos);
            if (field.empty())
                fail("it has an empty field (\"::\" at the start, at the end or twice in a row)");
            if (field.size() > kMaxFieldLength)
                fail("a field is longer than " + std::to_string(kMaxFieldLength) + " characters");
            fields.push_back(field);
            if (end == std::string_view::npos || end == text_.size())
                return fields;
            pos = end + 2;
            if (pos >= text_.size())
                fail("it ends with \"::\"");
        }
    }

    void parseInterface(std::string_view field, ResourceName& name) {
        struct Known {
            std::string_view prefix;
            InterfaceType type;
        };
        static constexpr std::array<Known, 5> kInterfaces{{{"GPIB", InterfaceType::Gpib},
                                                           {"TCPIP", InterfaceType::Tcpip},
                                                           {"USB", InterfaceType::Usb},
                                                           {"ASRL", InterfaceType::Asrl},
                                                           {"SIM", InterfaceType::Sim}}};
        const auto letters = std::find_if(
            field.begin(), field.end(), [](char c) { return !std::isalpha(static_cast<unsigned char>(c)); });
        const auto prefix =
            base::asciiUpper(field.substr(0, static_cast<std::size_t>(letters - field.begin())));
        const auto board = field.substr(prefix.size());
        const auto known = std::find_if(kInterfaces.begin(), kInterfaces.end(),
                                        [&](const Known& k) { return k.prefix == prefix; });
        if (known == kInterfaces.end() || (!board.empty() && !allDigits(board)))
            fail("the interface " + quote(field) +
                 " is none of GPIB, TCPIP, USB, ASRL and SIM (with an optional "
                 "board number, e.g. GPIB0)");
        name.interfaceType = known->type;
        interface_ = prefix;
        if (!board.empty()) {
            const auto number = parseNumber(board, kMaxBoard, false);
            if (!number)
                fail("the board number " + quote(board) + " is not a number from 0 to " +
                     std::to_string(kMaxBoard));
            name.board = *number;
        }
    }

    void takeResourceClass(std::vector<std::string_view>& params, ResourceName& name) const {
        const auto last = base::asciiUpper(params.back());
        if (last == "INSTR") {
            name.resourceClass = ResourceClass::Instr;
        } else if (last == "SOCKET") {
            if (name.interfaceType != InterfaceType::Tcpip)
                fail("SOCKET resources exist only on TCPIP interfaces");
            name.resourceClass = ResourceClass::Socket;
        } else if (last == "INTFC" || last == "RAW" || last == "BACKPLANE" || last == "SERVANT" ||
                   last == "MEMACC") {
            fail("the resource class " + quote(params.back()) +
                 " is not supported (only INSTR and SOCKET are)");
        } else {
            if (looksLikeResourceClass(params, name.interfaceType))
                fail("unknown resource class " + quote(params.back()) + ": " + interface_ + " accepts " +
                     (name.interfaceType == InterfaceType::Tcpip ? "INSTR and SOCKET" : "INSTR"));
            return;
        }
        params.pop_back();
    }

    // A last field that is no known class is normally a parameter (an address, a LAN device name, a serial
    // number). It is read as a mistyped class when it cannot be a parameter there: a word where only
    // numbers go, a field more than the interface takes, or a word one or two keystrokes from a class name.
    static bool looksLikeResourceClass(const std::vector<std::string_view>& params, InterfaceType type) {
        const auto word = params.back();
        if (!std::all_of(word.begin(), word.end(),
                         [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }))
            return false;
        if (type == InterfaceType::Gpib)
            return true;
        std::size_t minParams = 1;
        std::size_t maxParams = 2;
        if (type == InterfaceType::Usb) {
            minParams = 3;
            maxParams = 4;
        } else if (type == InterfaceType::Asrl || type == InterfaceType::Sim) {
            minParams = 0;
            maxParams = 0;
        }
        const auto typed = base::asciiUpper(word);
        return params.size() > maxParams ||
               (params.size() > minParams &&
                (editDistance(typed, "INSTR") <= 2 || editDistance(typed, "SOCKET") <= 2));
    }

    void expectCount(const std::vector<std::string_view>& params, std::size_t min, std::size_t max,
                     const std::string& expected) const {
        if (params.size() < min || params.size() > max)
            fail(std::string(params.size() < min ? "fields are missing" : "it has too many fields") + ": " +
                 interface_ + " takes " + expected);
    }

    void parseGpib(const std::vector<std::string_view>& params, ResourceName& name) const {
        expectCount(params, 1, 2, "a primary address and an optional secondary address");
        const auto primary = parseNumber(params[0], kMaxGpibPrimary, false);
        if (!primary)
            fail("the GPIB primary address " + quote(params[0]) + " is not a number from 0 to 30");
        name.primaryAddress = *primary;
        if (params.size() == 2) {
            const auto secondary = parseNumber(params[1], kMaxGpibSecondary, false);
            if (!secondary)
                fail("the GPIB secondary address " + quote(params[1]) + " is not a number from 0 to 31");
            name.secondaryAddress = *secondary;
        }
    }

    void parseTcpip(const std::vector<std::string_view>& params, ResourceName& name) const {
        if (name.resourceClass == ResourceClass::Socket) {
            refuseUnbracketedIpv6(params, 1);
            expectCount(params, 2, 2, "a host and a port before SOCKET");
            name.host = parseHost(params[0]);
            const auto port = parseNumber(params[1], 65535, false);
            if (!port || *port == 0)
                fail("the port " + quote(params[1]) + " is not a number from 1 to 65535");
            name.port = static_cast<std::uint16_t>(*port);
            return;
        }
        refuseUnbracketedIpv6(params, 0);
        expectCount(params, 1, 2, "a host and an optional LAN device name");
        name.host = parseHost(params[0]);
        if (params.size() == 2)
            name.lanDevice = parseLanDevice(params[1], name);
    }

    // "fe80::1" written without brackets is split at its "::" into host "fe80" and device "1" (or more
    // fields); the fields that follow the host (all but `keep` of them) are joined back to see whether
    // they were one address.
    void refuseUnbracketedIpv6(const std::vector<std::string_view>& params, std::size_t keep) const {
        if (params.empty() || params[0].front() == '[')
            return;
        std::string joined(params[0]);
        for (std::size_t i = 1; i + keep < params.size(); ++i) {
            joined += "::";
            joined += params[i];
            const std::string address = joined.substr(0, joined.find('%'));
            in6_addr parsed{};
            if (::inet_pton(AF_INET6, address.c_str(), &parsed) == 1)
                fail("the host " + quote(joined) + " is an IPv6 address without brackets; write it as [" +
                     joined + "]");
        }
    }

    std::string parseLanDevice(std::string_view device, ResourceName& name) const {
        checkLanDeviceName(device);
        const std::string lower = base::asciiLower(device);
        if (lower.starts_with("hislip")) {
            const std::string_view rest = std::string_view(device).substr(6);
            const auto comma = rest.find(',');
            if (!allDigits(rest.substr(0, comma)))
                fail("the HiSLIP device name " + quote(device) + " is not hislipN or hislipN,port");
            name.port = protocol::kHislipPort;
            if (comma != std::string_view::npos) {
                const auto port = parseNumber(rest.substr(comma + 1), 65535, false);
                if (!port || *port == 0)
                    fail("the HiSLIP port in " + quote(device) + " is not a number from 1 to 65535");
                name.port = static_cast<std::uint16_t>(*port);
            }
        }
        return std::string(device);
    }

    // Letters, digits and "_", with "," between the parts of a gateway form such as gpib0,5 or hislip0,4880.
    void checkLanDeviceName(std::string_view device) const {
        const auto bad = std::find_if(device.begin(), device.end(),
                                      [](char c) { return !isAlnum(c) && c != '_' && c != ','; });
        if (bad != device.end())
            fail("the LAN device name " + quote(device) + " holds " + quote(std::string_view(&*bad, 1)) +
                 "; only letters, digits, \"_\" and \",\" between parts (as in gpib0,5) may appear");
        std::size_t start = 0;
        while (true) {
            const auto comma = device.find(',', start);
            const auto part = device.substr(start, comma == std::string_view::npos ? comma : comma - start);
            if (std::none_of(part.begin(), part.end(), isAlnum))
                fail("the LAN device name " + quote(device) + " has a part without a letter or digit" +
                     (part.empty() ? " (an empty part beside \",\")" : ""));
            if (comma == std::string_view::npos)
                return;
            start = comma + 1;
        }
    }

    std::string parseHost(std::string_view host) const {
        if (host.front() == '[') {
            auto inner = host.substr(1, host.size() - 2);
            const auto zone = inner.find('%');
            const std::string address(inner.substr(0, zone));
            in6_addr parsed{};
            if (host.back() != ']' || ::inet_pton(AF_INET6, address.c_str(), &parsed) != 1)
                fail("the host " + quote(host) + " is not a valid IPv6 address in brackets");
            if (IN6_IS_ADDR_UNSPECIFIED(&parsed))
                notAnInstrument(host);
            if (zone != std::string_view::npos &&
                (zone + 1 == inner.size() ||
                 !std::all_of(inner.begin() + static_cast<std::ptrdiff_t>(zone) + 1, inner.end(),
                              [](char c) { return isAlnum(c) || c == '_' || c == '.' || c == '-'; })))
                fail("the host " + quote(host) + " has an invalid IPv6 zone");
            return std::string(inner);
        }
        const std::string text(host);
        in_addr parsed{};
        if (::inet_pton(AF_INET, text.c_str(), &parsed) == 1) {
            if (parsed.s_addr == INADDR_ANY)
                notAnInstrument(host);
            return text;
        }
        // The C library's older parser also reads "127.1", "0x7f000001" and "017.0.0.1" (octal) as IPv4
        // addresses, so such a host would connect somewhere other than it seems to say.
        if (::inet_aton(text.c_str(), &parsed) != 0) {
            if (parsed.s_addr == INADDR_ANY)
                notAnInstrument(host);
            char dotted[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &parsed, dotted, sizeof dotted);
            fail("the host " + quote(host) +
                 " is a shortened, octal or hexadecimal IPv4 form; write the address as four decimal "
                 "numbers, here " +
                 dotted);
        }
        if (std::all_of(host.begin(), host.end(), [](char c) { return isDigit(c) || c == '.'; }))
            fail("the host " + quote(host) + " is not a valid IPv4 address");
        if (host.find(':') != std::string_view::npos)
            fail("the host " + quote(host) + " holds a \":\" (an IPv6 address must be written in brackets)");
        checkHostName(host);
        return std::string(host);
    }

    [[noreturn]] void notAnInstrument(std::string_view host) const {
        fail("the host " + quote(host) + " is not an instrument address (it stands for any local address)");
    }

    void checkHostName(std::string_view host) const {
        const auto bad = [&](const std::string& why) {
            fail("the host name " + quote(host) + " " + why);
        };
        if (host.size() > kMaxHostLength)
            bad("is longer than 253 characters");
        auto rest = host;
        if (rest.ends_with('.'))
            rest.remove_suffix(1); // a fully qualified name may end with its root dot
        while (true) {
            const auto dot = rest.find('.');
            const auto label = rest.substr(0, dot);
            if (label.empty())
                bad("has an empty part between dots");
            if (label.size() > 63)
                bad("has a part longer than 63 characters");
            if (label.front() == '-' || label.back() == '-')
                bad("has a part that starts or ends with \"-\"");
            if (!std::all_of(label.begin(), label.end(),
                             [](char c) { return isAlnum(c) || c == '-' || c == '_'; }))
                bad("holds characters other than letters, digits, \"-\", \"_\" and \".\"");
            if (dot == std::string_view::npos)
                return;
            rest.remove_prefix(dot + 1);
        }
    }

    void parseUsb(const std::vector<std::string_view>& params, ResourceName& name) const {
        expectCount(params, 3, 4,
                    "a vendor ID, a product ID, a serial number and an optional interface number");
        const auto vendor = parseNumber(params[0], 0xFFFF, true);
        if (!vendor)
            fail("the USB vendor ID " + quote(params[0]) + " is not a number from 0 to 0xFFFF");
        const auto product = parseNumber(params[1], 0xFFFF, true);
        if (!product)
            fail("the USB product ID " + quote(params[1]) + " is not a number from 0 to 0xFFFF");
        if (params[2].find(':') != std::string_view::npos)
            fail("the USB serial number " + quote(params[2]) + " holds a \":\"");
        if (std::none_of(params[2].begin(), params[2].end(), isAlnum))
            fail("the USB serial number " + quote(params[2]) + " holds no letter or digit");
        name.vendorId = static_cast<std::uint16_t>(*vendor);
        name.productId = static_cast<std::uint16_t>(*product);
        name.serialNumber = std::string(params[2]);
        if (params.size() == 4) {
            const auto interface = parseNumber(params[3], kMaxUsbInterface, false);
            if (!interface)
                fail("the USB interface number " + quote(params[3]) + " is not a number from 0 to 255");
            name.usbInterface = *interface;
        }
    }

    std::string_view text_;
    std::string interface_;
};

} // namespace

bool ResourceName::isHislip() const {
    return interfaceType == InterfaceType::Tcpip && resourceClass == ResourceClass::Instr &&
           base::asciiUpper(lanDevice).starts_with("HISLIP");
}

ResourceName ResourceName::parse(std::string_view text) {
    return Parser(text).parse();
}

} // namespace visa
