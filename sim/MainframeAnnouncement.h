#pragma once

#include "sim/MdnsZone.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// Where one simulated mainframe is served, as its mDNS announcement names it.
struct MainframeAnnouncement {
    std::string identity; // its *IDN? reply: "manufacturer,model,serial,firmware"
    std::uint16_t socketPort = 0;
    std::optional<std::uint16_t> portmapPort; // where VXI-11 is served
    std::string vxi11Device = "inst0";
    std::optional<std::uint16_t> hislipPort;
    std::string hislipSubAddress = "hislip0";
};

// The mainframe's DNS-SD services (raw SCPI, and VXI-11 and HiSLIP where served), each named
// "<manufacturer> <model> <serial>" with the LXI-style TXT keys (Manufacturer, Model, SerialNumber,
// FirmwareVersion) taken from its identity, and SubAddress for the VXI-11 device and the HiSLIP session
// (so that each of several mainframes behind one address can be told apart).
std::vector<AnnouncedService> announcedServices(const MainframeAnnouncement& mainframe);

class Mainframe;
// The mainframe's *IDN? reply, asked through a session of its own as any client would.
std::string askIdentity(Mainframe& mainframe);

} // namespace sim
