#include "sim/MdnsResponder.h"

#include "protocol/DnsMessage.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace sim {

using namespace protocol;

namespace {

in_addr groupAddress() {
    in_addr group{};
    std::memcpy(&group.s_addr, kMdnsGroup.data(), sizeof group.s_addr);
    return group;
}

MdnsZone::Address zoneAddress(in_addr address) {
    MdnsZone::Address bytes{};
    std::memcpy(bytes.data(), &address.s_addr, bytes.size());
    return bytes;
}

} // namespace

MdnsResponder::MdnsResponder(std::vector<base::Ipv4Interface> links, std::vector<AnnouncedService> services,
                             Log log)
    : links_(std::move(links)), zone_(std::move(services)) {
    if (links_.empty()) {
        throw std::invalid_argument("no interface to announce on");
    }
    base::UdpSocket socket = base::UdpSocket::bind(in_addr{htonl(INADDR_ANY)}, kMdnsPort, true);
    socket.receivePacketInfo();
    socket.setMulticastInterface(links_.front().address);
    for (const base::Ipv4Interface& link : links_) {
        socket.joinGroup(groupAddress(), link.address);
    }
    std::vector<base::UdpSocket> sockets;
    sockets.push_back(std::move(socket));
    service_ = std::make_unique<DatagramService>(
        "mDNS", std::move(sockets), kMaxDnsMessage,
        [this](const std::vector<base::UdpSocket>& all, std::size_t,
               const base::UdpSocket::Datagram& datagram) { respond(all.front(), datagram); },
        std::move(log));
    announce(false);
}

MdnsResponder::~MdnsResponder() {
    stop();
}

void MdnsResponder::stop() {
    if (!service_) {
        return;
    }
    announce(true);
    service_.reset();
}

void MdnsResponder::respond(const base::UdpSocket& socket, const base::UdpSocket::Datagram& datagram) const {
    const auto link = std::find_if(links_.begin(), links_.end(), [&](const base::Ipv4Interface& l) {
        return l.index == datagram.interfaceIndex;
    });
    if (link == links_.end()) {
        return; // a query on a network this instrument is not on
    }
    const DnsMessage query = decodeDnsMessage(datagram.bytes);
    const bool legacyUnicast = ntohs(datagram.source.sin_port) != kMdnsPort;
    const bool unicast = legacyUnicast || std::any_of(query.questions.begin(), query.questions.end(),
                                                      [](const DnsQuestion& q) { return q.unicastResponse; });
    if (unicast && !link->holds(datagram.source.sin_addr)) {
        return; // unicast answers go only to queriers on the link, never to a forged far-away address
    }
    const sockaddr_in destination =
        unicast ? datagram.source : base::socketAddress(groupAddress(), kMdnsPort);
    for (const DnsMessage& response : zone_.answer(query, zoneAddress(link->address), legacyUnicast)) {
        socket.sendFrom(encodeDnsMessage(response), destination, link->address, link->index);
    }
}

void MdnsResponder::announce(bool goodbye) const {
    const base::UdpSocket& socket = service_->socket(0);
    for (const base::Ipv4Interface& link : links_) {
        for (const DnsMessage& message : zone_.announcement(zoneAddress(link.address), goodbye)) {
            socket.sendFrom(encodeDnsMessage(message), base::socketAddress(groupAddress(), kMdnsPort),
                            link.address, link.index);
        }
    }
}

} // namespace sim
