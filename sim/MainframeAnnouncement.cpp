#include "sim/MainframeAnnouncement.h"

#include "sim/ClientSession.h"

#include <array>
#include <sstream>

namespace sim {

std::vector<AnnouncedService> announcedServices(const MainframeAnnouncement& mainframe) {
    std::array<std::string, 4> fields; // manufacturer, model, serial, firmware
    std::istringstream identity(mainframe.identity);
    for (std::string& field : fields) {
        std::getline(identity, field, ',');
    }
    if (!fields[3].empty() && fields[3].back() == '\n') {
        fields[3].pop_back();
    }
    const std::string instance = fields[0] + " " + fields[1] + " " + fields[2];
    const std::vector<std::string> text = {"txtvers=1", "Manufacturer=" + fields[0], "Model=" + fields[1],
                                           "SerialNumber=" + fields[2], "FirmwareVersion=" + fields[3]};
    std::vector<AnnouncedService> services;
    services.push_back({instance, "_scpi-raw._tcp.local", mainframe.socketPort, text});
    if (mainframe.portmapPort) {
        services.push_back({instance, "_vxi-11._tcp.local", *mainframe.portmapPort, text});
    }
    if (mainframe.hislipPort) {
        std::vector<std::string> hislipText = text;
        hislipText.push_back("SubAddress=" + mainframe.hislipSubAddress);
        services.push_back({instance, "_hislip._tcp.local", *mainframe.hislipPort, hislipText});
    }
    return services;
}

std::string askIdentity(Mainframe& mainframe) {
    ClientSession session(mainframe);
    session.receive("*IDN?");
    const std::optional<Reply> reply = session.takeReply();
    return reply ? reply->bytes : std::string();
}

} // namespace sim
