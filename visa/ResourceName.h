#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace visa {

enum class InterfaceType { Gpib, Tcpip, Usb, Asrl, Sim };

// The longest host name DNS allows, in characters.
inline constexpr std::size_t kMaxHostLength = 253;
enum class ResourceClass { Instr, Socket };

// A parsed VISA resource string. parse() accepts interface names in any letter case, board numbers
// defaulting to 0, and throws VisaError(Kind::BadResource) quoting the text and saying what is wrong.
//   GPIB[board]::primary[::secondary][::INSTR]
//   TCPIP[board]::host[::LAN device name][::INSTR]      (device inst0 by default; hislipN[,port] = HiSLIP)
//   TCPIP[board]::host::port::SOCKET
//   USB[board]::vendor::product::serial[::interface][::INSTR]
//   ASRL[board]::INSTR
//   SIM[board]::INSTR                                   (the built-in simulated mainframe)
struct ResourceName {
    std::string text; // exactly as given
    InterfaceType interfaceType = InterfaceType::Sim;
    unsigned board = 0;
    ResourceClass resourceClass = ResourceClass::Instr;

    // GPIB
    unsigned primaryAddress = 0;
    std::optional<unsigned> secondaryAddress;

    // TCPIP: host is a name, an IPv4 address or an IPv6 address (without its brackets).
    std::string host;
    std::string lanDevice = "inst0";
    std::uint16_t port = 0; // the SOCKET port, or the HiSLIP port (4880 unless the device name gives one)

    // USB
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string serialNumber;
    std::optional<unsigned> usbInterface;

    bool isHislip() const;
    static ResourceName parse(std::string_view text);
};

} // namespace visa
