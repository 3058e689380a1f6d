#pragma once

#include "sim/AvahiRegistration.h"
#include "sim/MdnsResponder.h"

#include <memory>
#include <string>
#include <vector>

namespace sim {

// Announces the simulator's services over mDNS on the interface that holds the served address (each
// multicast interface for the any-address): through the Avahi daemon where one runs, so that the machine's
// mDNS stays with it, and by the simulator's own responder where none does.
class ServiceAnnouncer {
public:
    using Log = MdnsResponder::Log;

    // The announcer, or nullptr with a log line saying why the services are not announced (a loopback or
    // IPv6 address, no multicast interface, port 5353 cannot be shared).
    static std::unique_ptr<ServiceAnnouncer> start(const std::string& address,
                                                   std::vector<AnnouncedService> services, const Log& log);

private:
    ServiceAnnouncer() = default;

    std::unique_ptr<AvahiRegistration> avahi_;
    std::unique_ptr<MdnsResponder> responder_;
};

} // namespace sim
