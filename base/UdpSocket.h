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
        in_addr localAddress{};      // the local address that answers it (with packet info on)
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
    // Sends out of the given interface from the given local address, whatever the socket is bound to: how
    // a responder on a port shared by every interface answers on the network a question came from.
    bool sendFrom(std::string_view bytes, const sockaddr_in& destination, in_addr source,
                  unsigned interfaceIndex) const;

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
