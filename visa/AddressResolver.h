#pragma once

#include "base/Deadline.h"

#include <cstddef>
#include <cstdint>
#include <functional>
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
    enum class Status { Resolved, UnknownHost, TimedOut, TooManyPending, Failed };
    struct Result {
        Status status = Status::Failed;
        std::vector<SocketAddress> addresses;
        std::string detail; // the resolver's own words when it failed
    };

    // Look-ups of names that have not answered yet, beyond which a new name is refused at once. Each one
    // holds a thread until the system resolver gives up on its own.
    static constexpr std::size_t kMaxPendingLookUps = 4;

    // Numeric addresses resolve at once. Names are looked up on a helper thread because getaddrinfo() takes
    // no time-out and the open must still finish within its own. An open that asks for a name whose look-up
    // is still pending waits for that one instead of starting another.
    static Result resolve(const std::string& host, std::uint16_t port, const base::Deadline& deadline);
    // True for IPv4 or IPv6 text, which resolve() takes without a look-up.
    static bool isNumeric(const std::string& host);

    // Replaces the system's name look-up (getaddrinfo) for names, until called again with an empty function.
    using NameLookUp = std::function<Result(const std::string& host, std::uint16_t port)>;
    static void setNameLookUpForTesting(NameLookUp lookUp);
};

} // namespace visa
