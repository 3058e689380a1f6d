#pragma once

#include "base/Deadline.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace visa {

// One address a TCP connection may be tried on.
struct SocketAddress {
    int family = AF_UNSPEC;
    sockaddr_storage storage{};
    socklen_t length = 0;
};

// Turns a host (name, IPv4 or IPv6 text) and a port into the addresses to try, in the resolver's order.
class AddressResolver {
public:
    enum class Status { Resolved, UnknownHost, TimedOut, Failed };
    struct Result {
        Status status = Status::Failed;
        std::vector<SocketAddress> addresses;
        std::string detail; // the resolver's own words when it failed
    };

    // Numeric addresses resolve at once. A name is looked up as the system is set up to (the hosts file,
    // then its name servers) with c-ares, whose sockets are waited on through base::FiberLoop::poll: a
    // fiber looking up a name lets the loop's other fibers run, and the look-up ends by the deadline with
    // nothing left behind. nameServers ("address:port,...") replaces the system's name servers; tests
    // point it at one of their own on loopback.
    static Result resolve(const std::string& host, std::uint16_t port, const base::Deadline& deadline,
                          const std::string& nameServers = {});
    // True for IPv4 or IPv6 text, which resolve() takes without a look-up.
    static bool isNumeric(const std::string& host);
};

} // namespace visa
