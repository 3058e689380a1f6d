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

std::vector<base::Ipv4Interface> linksFor(const std::string& address) {
    const auto served = base::parseIpv4(address);
    if (!served) {
        throw std::invalid_argument("mDNS announcing needs an IPv4 address, not " + address);
    }
    const bool any = served->s_addr == htonl(INADDR_ANY);
    std::vector<base::Ipv4Interface> links;
    for (const base::Ipv4Interface& interface : base::listIpv4Interfaces()) {
        if (interface.multicast && !interface.loopback &&
            (any || interface.address.s_addr == served->s_addr)) {
            links.push_back(interface);
        }
    }
    if (links.empty()) {
        throw std::invalid_argument("no interface that can send multicast holds " + address +
                                    (ntohl(served->s_addr) >> 24 == 127 ? " (a loopback address)" : ""));
    }
    return links;
}

// Whether another program already listens on port 5353: a socket that does not share the port cannot bind it.
bool mdnsPortTaken() {
    try {
        base::UdpSocket::bind(in_addr{htonl(INADDR_ANY)}, kMdnsPort, false);
        return false;
    } catch (const std::system_error& e) {
        return e.code() == std::errc::address_in_use;
    }
}

} // namespace

MdnsResponder::MdnsResponder(const std::string& address, std::vector<AnnouncedService> services, Log log)
    : links_(linksFor(address)), zone_(std::move(services)) {
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

std::unique_ptr<MdnsResponder> MdnsResponder::startIfPossible(const std::string& address,
                                                              std::vector<AnnouncedService> services,
                                                              const Log& log) {
    try {
        const bool shared = mdnsPortTaken();
        auto responder = std::make_unique<MdnsResponder>(address, std::move(services), log);
        if (log) {
            log("mDNS: announcing the services on " + address +
                (shared
                     ? " (sharing port 5353 with another responder, such as an mDNS daemon: queries to the "
                       "group reach both, a unicast query to this machine's port 5353 only one)"
                     : ""));
        }
        return responder;
    } catch (const std::exception& e) {
        if (log) {
            log(std::string("mDNS: not announcing the services: ") + e.what());
        }
        return nullptr;
    }
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
