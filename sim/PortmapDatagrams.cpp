#include "sim/PortmapDatagrams.h"

#include "base/NetworkInterfaces.h"

namespace sim {

std::vector<base::UdpSocket> bindPortmapDatagrams(const std::string& address, std::uint16_t port) {
    std::vector<base::UdpSocket> sockets;
    const auto served = base::parseIpv4(address);
    if (!served) {
        return sockets;
    }
    sockets.push_back(base::UdpSocket::bind(*served, port));
    if (served->s_addr == htonl(INADDR_ANY)) {
        return sockets;
    }
    for (const base::Ipv4Interface& interface : base::listIpv4Interfaces()) {
        if (interface.address.s_addr == served->s_addr && interface.broadcast) {
            sockets.push_back(base::UdpSocket::bind(*interface.broadcast, port, true));
            sockets.push_back(base::UdpSocket::bind(in_addr{htonl(INADDR_BROADCAST)}, port, true));
            break;
        }
    }
    return sockets;
}

} // namespace sim
