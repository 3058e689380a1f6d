#include "visa/ResourceName.h"

#include "base/PrintableText.h"
#include "visa/VisaError.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cctype>
#include <charconv>
#include <vector>

namespace visa {
namespace {

constexpr unsigned kMaxBoard = 65535;
constexpr unsigned kMaxGpibPrimary = 30;
constexpr unsigned kMaxGpibSecondary = 31;
constexpr unsigned kMaxUsbInterface = 255;
constexpr std::size_t kMaxHostLength = 253;
constexpr std::size_t kMaxFieldLength = 255;
constexpr std::uint16_t kHislipPort = 4880;
// Error descriptions quote the text; a pasted page of junk should not fill the message box.
constexpr std::size_t kMaxQuotedLength = 120;

std::string upper(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return result;
}

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
    const std::string cut = text.size() > kMaxQuotedLength ? "..." : "";
    return "\"" + base::printableText(text, kMaxQuotedLength, base::Unprintable::HexEscape) + cut + "\"";
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
        throw VisaError(VisaError::Kind::BadResource,
                        quote(text_) + " is not a valid resource string: " + what);
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
        const auto prefix = upper(field.substr(0, static_cast<std::size_t>(letters - field.begin())));
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
        const auto last = upper(params.back());
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
            return;
        }
        params.pop_back();
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
            expectCount(params, 2, 2, "a host and a port before SOCKET");
            name.host = parseHost(params[0]);
            const auto port = parseNumber(params[1], 65535, false);
            if (!port || *port == 0)
                fail("the port " + quote(params[1]) + " is not a number from 1 to 65535");
            name.port = static_cast<std::uint16_t>(*port);
            return;
        }
        expectCount(params, 1, 2, "a host and an optional LAN device name");
        name.host = parseHost(params[0]);
        if (params.size() == 2)
            name.lanDevice = parseLanDevice(params[1], name);
    }

    std::string parseLanDevice(std::string_view device, ResourceName& name) const {
        if (!std::all_of(device.begin(), device.end(),
                         [](char c) { return isAlnum(c) || c == ',' || c == '_' || c == '.' || c == '-'; }))
            fail("the LAN device name " + quote(device) +
                 " holds characters other than letters, digits and , _ . -");
        const auto lower = [](std::string text) {
            std::transform(text.begin(), text.end(), text.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            return text;
        }(std::string(device));
        if (lower.starts_with("hislip")) {
            const std::string_view rest = std::string_view(device).substr(6);
            const auto comma = rest.find(',');
            if (!allDigits(rest.substr(0, comma)))
                fail("the HiSLIP device name " + quote(device) + " is not hislipN or hislipN,port");
            name.port = kHislipPort;
            if (comma != std::string_view::npos) {
                const auto port = parseNumber(rest.substr(comma + 1), 65535, false);
                if (!port || *port == 0)
                    fail("the HiSLIP port in " + quote(device) + " is not a number from 1 to 65535");
                name.port = static_cast<std::uint16_t>(*port);
            }
        }
        return std::string(device);
    }

    std::string parseHost(std::string_view host) const {
        if (host.front() == '[') {
            auto inner = host.substr(1, host.size() - 2);
            const auto zone = inner.find('%');
            const std::string address(inner.substr(0, zone));
            in6_addr parsed{};
            if (host.back() != ']' || ::inet_pton(AF_INET6, address.c_str(), &parsed) != 1)
                fail("the host " + quote(host) + " is not a valid IPv6 address in brackets");
            if (zone != std::string_view::npos &&
                (zone + 1 == inner.size() ||
                 !std::all_of(inner.begin() + static_cast<std::ptrdiff_t>(zone) + 1, inner.end(),
                              [](char c) { return isAlnum(c) || c == '_' || c == '.' || c == '-'; })))
                fail("the host " + quote(host) + " has an invalid IPv6 zone");
            return std::string(inner);
        }
        if (std::all_of(host.begin(), host.end(), [](char c) { return isDigit(c) || c == '.'; })) {
            in_addr parsed{};
            if (::inet_pton(AF_INET, std::string(host).c_str(), &parsed) != 1)
                fail("the host " + quote(host) + " is not a valid IPv4 address");
            return std::string(host);
        }
        if (host.find(':') != std::string_view::npos)
            fail("the host " + quote(host) + " holds a \":\" (an IPv6 address must be written in brackets)");
        checkHostName(host);
        return std::string(host);
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
           upper(lanDevice).starts_with("HISLIP");
}

ResourceName ResourceName::parse(std::string_view text) {
    return Parser(text).parse();
}

} // namespace visa
