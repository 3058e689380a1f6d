#pragma once

#include "base/Deadline.h"
#include "base/FileDescriptor.h"

#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace base {

// One IPv4 UDP socket, non-blocking, for the datagram conversations of finding and announcing
// instruments on the local network: broadcast, multicast and the unicast answers to them.
class UdpSocket {
public:
    struct Datagram {
        std::string bytes;
        sockaddr_in source{};
        in_addr destination{};       // the local address it came to (with packet info on)
        unsigned interfaceIndex = 0; // the interface it came in on (with packet info on)
    };

    // shared: other sockets may bind the same address and port (mDNS responders share 5353, and
    // several simulated instruments one broadcast address). Throws std::system_error naming them.
    static UdpSocket bind(in_addr address, std::uint16_t port, bool shared = false);

    // Each throws std::system_error when the system refuses.
    void allowBroadcast();
    void setMulticastInterface(in_addr interfaceAddress);
    void joinGroup(in_addr group, in_addr interfaceAddress);
    void receivePacketInfo();

    // False when the system would not send it; datagrams are lost silently on the wire anyway.
    bool sendTo(std::string_view bytes, const sockaddr_in& destination) const;
    // Sends out of the interface that `cameIn` came in on, from the address it was sent to unless that
    // was a group or broadcast address: how a responder on a shared port answers on the right network.
    bool sendVia(std::string_view bytes, const sockaddr_in& destination, const Datagram& cameIn) const;

    // The next datagram waiting, nullopt when none is. Datagrams longer than maxBytes are dropped.
    std::optional<Datagram> receive(std::size_t maxBytes) const;

    int fd() const { return fd_.get(); }
    std::uint16_t port() const;

private:
    explicit UdpSocket(FileDescriptor fd) : fd_(std::move(fd)) {}
    void setOption(int level, int name, const void* value, socklen_t size, const char* what);

    FileDescriptor fd_;
};

sockaddr_in socketAddress(in_addr address, std::uint16_t port);

// Indices of the descriptors that have something to read, after waiting until some do or the deadline
// passes (then empty).
std::vector<std::size_t> waitReadable(std::span<const int> fds, const Deadline& deadline);

} // namespace base
