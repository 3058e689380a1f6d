#pragma once

#include "base/Deadline.h"

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

    // Numeric addresses resolve at once. Names are looked up on a helper thread because getaddrinfo() takes
    // no time-out and the open must still finish within its own.
    static Result resolve(const std::string& host, std::uint16_t port, const base::Deadline& deadline);
};

} // namespace visa
