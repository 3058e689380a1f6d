#include "base/NetworkInterfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <memory>
#include <net/if.h>

namespace base {

namespace {

// An address added without its broadcast address (ip addr add without "brd +") is listed with none, or
// with its own; the network's all-ones address is what its hosts still take as one.
std::optional<in_addr> broadcastOf(const ifaddrs* entry, const Ipv4Interface& item) {
    if (entry->ifa_broadaddr != nullptr && entry->ifa_broadaddr->sa_family == AF_INET) {
        const in_addr given = reinterpret_cast<const sockaddr_in*>(entry->ifa_broadaddr)->sin_addr;
        if (given.s_addr != htonl(INADDR_ANY) && given.s_addr != item.address.s_addr) {
            return given;
        }
    }
    if (ntohl(item.netmask.s_addr) >= 0xFFFFFFFEu) {
        return std::nullopt; // a /31 or /32 has no broadcast address
    }
    return in_addr{item.address.s_addr | ~item.netmask.s_addr};
}

} // namespace

std::vector<Ipv4Interface> listIpv4Interfaces() {
    std::vector<Ipv4Interface> result;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return result;
    }
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owner(list, &::freeifaddrs);
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & IFF_UP) == 0) {
            continue;
        }
        Ipv4Interface item;
        item.name = entry->ifa_name;
        item.index = ::if_nametoindex(entry->ifa_name);
        item.address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr;
        if (entry->ifa_netmask != nullptr) {
            item.netmask = reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr;
        }
        if ((entry->ifa_flags & IFF_BROADCAST) != 0) {
            item.broadcast = broadcastOf(entry, item);
        }
        item.multicast = (entry->ifa_flags & IFF_MULTICAST) != 0;
        item.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        result.push_back(std::move(item));
    }
    return result;
}

std::string formatIpv4(in_addr address) {
    char text[INET_ADDRSTRLEN] = "";
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

std::optional<in_addr> parseIpv4(const std::string& text) {
    in_addr address{};
    if (::inet_pton(AF_INET, text.c_str(), &address) != 1) {
        return std::nullopt;
    }
    return address;
}

} // namespace base
