#pragma once

#include "protocol/DnsMessage.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// One DNS-SD service of the simulated instrument: "Korvane MF-7 SIM0001" of type "_hislip._tcp.local".
struct AnnouncedService {
    std::string instance;
    std::string type;
    std::uint16_t port = 0;
    std::vector<std::string> text; // TXT "key=value" strings
};

// The mDNS records of the services the simulator announces and of its host name, and the answers they
// give to a query. No sockets: sim/MdnsResponder sends what this builds. Answers are packed into
// messages that fit one Ethernet frame, each service's records kept together.
class MdnsZone {
public:
    using Address = std::array<std::uint8_t, 4>;

    explicit MdnsZone(std::vector<AnnouncedService> services);

    // The responses to a query that came in on the interface with the given address; empty when nothing
    // asked is ours. legacyUnicast (the query came from a port other than 5353): its ID and questions are
    // repeated and the TTLs kept short, as such one-shot queriers expect.
    std::vector<protocol::DnsMessage> answer(const protocol::DnsMessage& query, const Address& address,
                                             bool legacyUnicast) const;
    // Every record unasked: the announcement when the simulator starts, or with goodbye set (TTL 0) the
    // withdrawal when it stops.
    std::vector<protocol::DnsMessage> announcement(const Address& address, bool goodbye) const;

    // "pinwright-sim-10-201-1-10.local": one name per address served.
    static std::string hostName(const Address& address);

private:
    using Records = std::vector<protocol::DnsRecord>;
    struct Bundle {
        Records answers;
        Records additionals;
    };

    void addServiceRecords(Bundle& bundle, const AnnouncedService& service, bool asAnswers,
                           const Address& address) const;
    std::vector<Bundle> bundlesFor(const protocol::DnsQuestion& question, const Address& address) const;
    static std::vector<protocol::DnsMessage> pack(const std::vector<Bundle>& bundles,
                                                  const protocol::DnsMessage& header, std::uint32_t ttlLimit,
                                                  bool cacheFlush);

    std::vector<AnnouncedService> services_;
};

} // namespace sim
