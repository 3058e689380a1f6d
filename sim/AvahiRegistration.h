#pragma once

#include "sim/MdnsZone.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sim {

// The simulator's services registered with the system's mDNS daemon, Avahi, through its client library,
// loaded at run time: nothing of Avahi is needed to build or run the simulator. The daemon announces and
// answers for them (and withdraws them when this is dropped) with its own host name and addresses.
class AvahiRegistration {
public:
    using Log = std::function<void(const std::string&)>;

    // The registration, or nullptr where no Avahi daemon can be reached (its library is not installed,
    // the daemon is not running) with the reason in whyNot. interfaceIndex 0: every interface.
    static std::unique_ptr<AvahiRegistration> start(unsigned interfaceIndex,
                                                    const std::vector<AnnouncedService>& services, Log log,
                                                    std::string& whyNot);
    ~AvahiRegistration();
    AvahiRegistration(const AvahiRegistration&) = delete;
    AvahiRegistration& operator=(const AvahiRegistration&) = delete;

private:
    struct Library;
    struct Session;
    AvahiRegistration() = default;

    std::unique_ptr<Library> library_;
    std::unique_ptr<Session> session_;
};

} // namespace sim
