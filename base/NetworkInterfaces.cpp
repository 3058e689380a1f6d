#include "base/NetworkInterfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <memory>
#include <net/if.h>

namespace base {

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
        if ((entry->ifa_flags & IFF_BROADCAST) != 0 && entry->ifa_broadaddr != nullptr &&
            entry->ifa_broadaddr->sa_family == AF_INET) {
            item.broadcast = reinterpret_cast<const sockaddr_in*>(entry->ifa_broadaddr)->sin_addr;
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
