#pragma once

#include "sim/ConnectionLimits.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace sim {

// What pinwright-sim serves, from its command line. Each server protocol adds its own fields and its
// rows in the option table of ServerOptions.cpp.
struct ServerOptions {
    std::string address = "127.0.0.1";
    // Independent mainframes, each on its own raw port (socketPort, socketPort + 1...), HiSLIP
    // sub-address (hislip0, hislip1...) and VXI-11 device name (inst0, inst1...).
    std::size_t count = 1;
    static constexpr std::size_t kMaxCount = 256;
    // The first mainframe's serial number is SIM<firstSerial> (four digits), the next ones count on, so
    // that simulators started apart can be told apart as real instruments are.
    std::size_t firstSerial = 1;
    std::uint16_t socketPort = 5025;
    // VXI-11: the portmapper (clients ask port 111 only) and the core channel it points to.
    bool vxi11 = false;
    std::uint16_t portmapPort = 111;
    std::uint16_t vxi11Port = 0;
    // HiSLIP
    bool hislip = false;
    std::uint16_t hislipPort = 4880;
    // Being found on the LAN: the portmapper over UDP (VXI-11 broadcasts), the mDNS announcement.
    bool udpPortmap = true;
    bool announce = true;
    // What each server allows its clients.
    std::size_t socketClients = 8;
    std::size_t lanClients = 32; // VXI-11, the portmapper and HiSLIP, each
    std::chrono::milliseconds stallTimeout{30'000};
    std::chrono::milliseconds idleTimeout{0};
    std::size_t linksPerConnection = 16; // VXI-11 create_link
    std::size_t maxLinks = 256;
    // How the mainframes behave, for trying a script against a slower or lesser instrument: the time each
    // takes before a reply is ready, and the habits of instruments that parse less than SCPI allows.
    std::chrono::milliseconds replyDelay{0};
    bool refuseRootSpecifier = false;
    bool oneUnitPerMessage = false;
    bool smallInputBuffer = false;
    bool help = false;
    bool version = false;
};

// The limits of the raw socket server and of the LAN protocol servers.
ConnectionLimits socketLimits(const ServerOptions& options);
ConnectionLimits lanLimits(const ServerOptions& options);

// Throws std::invalid_argument with a message naming the offending option: a value it cannot use, an
// option that means nothing without another (naming that one), two of the simulator's own servers asked
// to listen on one port.
ServerOptions parseServerOptions(std::span<const std::string_view> arguments);
// What a usage error is followed by, pointing to the whole usage rather than printing it.
std::string usageHint();
std::string serverUsage();

class Mainframe;
// Gives the mainframe the timing and habits the options ask for.
void applyBehaviour(const ServerOptions& options, Mainframe& mainframe);

} // namespace sim
