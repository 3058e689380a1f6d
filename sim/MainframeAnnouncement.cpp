#include "sim/MainframeAnnouncement.h"

#include "protocol/DnsMessage.h"
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
    services.push_back({instance, protocol::kScpiRawServiceType, mainframe.socketPort, text});
    const auto withSubAddress = [&text](const std::string& subAddress) {
        std::vector<std::string> more = text;
        more.push_back("SubAddress=" + subAddress);
        return more;
    };
    if (mainframe.portmapPort) {
        services.push_back({instance, protocol::kVxi11ServiceType, *mainframe.portmapPort,
                            withSubAddress(mainframe.vxi11Device)});
    }
    if (mainframe.hislipPort) {
        services.push_back({instance, protocol::kHislipServiceType, *mainframe.hislipPort,
                            withSubAddress(mainframe.hislipSubAddress)});
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
