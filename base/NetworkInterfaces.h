#pragma once

#include <cstdint>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <vector>

namespace base {

// One IPv4 address of an interface that is up, as finding and announcing on the local network need it.
struct Ipv4Interface {
    std::string name;
    unsigned index = 0;
    in_addr address{};
    in_addr netmask{};
    std::optional<in_addr> broadcast; // only where the interface has one (not loopback, not point-to-point)
    bool multicast = false;
    bool loopback = false;

    bool holds(in_addr other) const { return ((address.s_addr ^ other.s_addr) & netmask.s_addr) == 0; }
};

// Every address of every interface that is up, in the system's order; an interface with two addresses
// appears twice. Empty when the system cannot list them.
std::vector<Ipv4Interface> listIpv4Interfaces();

std::string formatIpv4(in_addr address);
// Only the four-decimal form; nullopt for anything else.
std::optional<in_addr> parseIpv4(const std::string& text);

} // namespace base
