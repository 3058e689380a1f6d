#pragma once

#include "base/NetworkInterfaces.h"
#include "sim/DatagramService.h"
#include "sim/MdnsZone.h"

#include <memory>
#include <string>
#include <vector>

namespace sim {

// Announces the simulator's services over mDNS by itself, with no mDNS daemon needed: it shares port 5353
// with whatever else listens there (SO_REUSEADDR/SO_REUSEPORT, as mDNS daemons do), joins 224.0.0.251 on
// the given interfaces (those of the served address), announces its records at start, answers the queries for
// them and withdraws them when it stops. A one-shot query (from a port other than 5353) is answered by
// unicast to its port; a query with the QU bit by unicast to the querier; the others to the group.
class MdnsResponder {
public:
    using Log = DatagramService::Log;

    // Throws std::invalid_argument without interfaces, std::system_error when the socket cannot be set up.
    MdnsResponder(std::vector<base::Ipv4Interface> links, std::vector<AnnouncedService> services,
                  Log log = {});
    ~MdnsResponder();
    MdnsResponder(const MdnsResponder&) = delete;
    MdnsResponder& operator=(const MdnsResponder&) = delete;

    // Withdraws the records and stops answering. Idempotent.
    void stop();

private:
    void respond(const base::UdpSocket& socket, const base::UdpSocket::Datagram& datagram) const;
    void announce(bool goodbye) const;

    std::vector<base::Ipv4Interface> links_;
    MdnsZone zone_;
    std::unique_ptr<DatagramService> service_;
};

} // namespace sim
