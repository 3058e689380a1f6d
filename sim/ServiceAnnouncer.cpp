#include "sim/ServiceAnnouncer.h"

#include "base/NetworkInterfaces.h"
#include "base/UdpSocket.h"
#include "protocol/DnsMessage.h"

#include <stdexcept>
#include <system_error>

namespace sim {

namespace {

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
        base::UdpSocket::bind(in_addr{htonl(INADDR_ANY)}, protocol::kMdnsPort, false);
        return false;
    } catch (const std::system_error& e) {
        return e.code() == std::errc::address_in_use;
    }
}

} // namespace

std::unique_ptr<ServiceAnnouncer>
ServiceAnnouncer::start(const std::string& address, std::vector<AnnouncedService> services, const Log& log) {
    const auto say = [&log](const std::string& line) {
        if (log) {
            log(line);
        }
    };
    try {
        std::vector<base::Ipv4Interface> links = linksFor(address);
        std::unique_ptr<ServiceAnnouncer> announcer(new ServiceAnnouncer);
        std::string noAvahi;
        const unsigned avahiInterface = links.size() == 1 ? links.front().index : 0;
        announcer->avahi_ = AvahiRegistration::start(avahiInterface, services, log, noAvahi);
        if (announcer->avahi_) {
            say("mDNS: registering the services with the Avahi daemon on " + address);
            return announcer;
        }
        const bool shared = mdnsPortTaken();
        announcer->responder_ = std::make_unique<MdnsResponder>(std::move(links), std::move(services), log);
        say("mDNS: announcing the services on " + address + " by itself: " + noAvahi +
            (shared
                 ? " (sharing port 5353 with another responder: queries to the group reach both, a unicast "
                   "query to this machine's port 5353 only one)"
                 : ""));
        return announcer;
    } catch (const std::exception& e) {
        say(std::string("mDNS: not announcing the services: ") + e.what());
        return nullptr;
    }
}

} // namespace sim
