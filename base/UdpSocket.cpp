#include "base/UdpSocket.h"

#include "base/FiberLoop.h"
#include "base/NetworkInterfaces.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>

namespace base {

namespace {

// Datagrams dropped for their size in one receive() before it gives the caller a turn.
constexpr int kMaxSkippedAtOnce = 64;

[[noreturn]] void fail(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

sockaddr_in socketAddress(in_addr address, std::uint16_t port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_addr = address;
    result.sin_port = htons(port);
    return result;
}

UdpSocket UdpSocket::bind(in_addr address, std::uint16_t port, bool shared) {
    const std::string where = "UDP " + formatIpv4(address) + " port " + std::to_string(port);
    FileDescriptor fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        fail("cannot open a socket for " + where);
    }
    if (shared) {
        const int on = 1;
        ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    }
    const sockaddr_in local = socketAddress(address, port);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        fail("cannot bind " + where);
    }
    return UdpSocket(std::move(fd));
}

void UdpSocket::setOption(int level, int name, const void* value, socklen_t size, const char* what) {
    if (::setsockopt(fd_.get(), level, name, value, size) != 0) {
        fail(std::string("cannot ") + what);
    }
}

void UdpSocket::allowBroadcast() {
    const int on = 1;
    setOption(SOL_SOCKET, SO_BROADCAST, &on, sizeof on, "allow broadcasts");
}

void UdpSocket::setMulticastInterface(in_addr interfaceAddress) {
    setOption(IPPROTO_IP, IP_MULTICAST_IF, &interfaceAddress, sizeof interfaceAddress,
              ("send multicast on " + formatIpv4(interfaceAddress)).c_str());
    // Link-local multicast (mDNS) expects the full hop limit and receivers may check it.
    const int ttl = 255;
    setOption(IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl, "set the multicast hop limit");
}

void UdpSocket::joinGroup(in_addr group, in_addr interfaceAddress) {
    ip_mreq request{};
    request.imr_multiaddr = group;
    request.imr_interface = interfaceAddress;
    setOption(IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request,
              ("join " + formatIpv4(group) + " on " + formatIpv4(interfaceAddress)).c_str());
}

void UdpSocket::receivePacketInfo() {
    const int on = 1;
    setOption(IPPROTO_IP, IP_PKTINFO, &on, sizeof on, "ask for packet information");
}

bool UdpSocket::sendTo(std::string_view bytes, const sockaddr_in& destination) const {
    return ::sendto(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL,
                    reinterpret_cast<const sockaddr*>(&destination),
                    sizeof destination) == static_cast<ssize_t>(bytes.size());
}

bool UdpSocket::sendFrom(std::string_view bytes, const sockaddr_in& destination, in_addr source,
                         unsigned interfaceIndex) const {
    iovec part{const_cast<char*>(bytes.data()), bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = const_cast<sockaddr_in*>(&destination);
    message.msg_namelen = sizeof destination;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = static_cast<int>(interfaceIndex);
    info.ipi_spec_dst = source;
    std::memcpy(CMSG_DATA(header), &info, sizeof info);
    return ::sendmsg(fd_.get(), &message, MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::optional<UdpSocket::Datagram> UdpSocket::receive(std::size_t maxBytes) const {
    for (int skipped = 0; skipped < kMaxSkippedAtOnce; ++skipped) {
        Datagram datagram;
        datagram.bytes.resize(maxBytes + 1);
        iovec part{datagram.bytes.data(), datagram.bytes.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr message{};
        message.msg_name = &datagram.source;
        message.msg_namelen = sizeof datagram.source;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t length = ::recvmsg(fd_.get(), &message, MSG_TRUNC);
        if (length < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt; // EAGAIN, or an error the next poll reports again
        }
        if (static_cast<std::size_t>(length) > maxBytes || message.msg_namelen != sizeof datagram.source ||
            datagram.source.sin_family != AF_INET) {
            continue;
        }
        datagram.bytes.resize(static_cast<std::size_t>(length));
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
             header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
                in_pktinfo info{};
                std::memcpy(&info, CMSG_DATA(header), sizeof info);
                datagram.localAddress = info.ipi_spec_dst;
                datagram.interfaceIndex = static_cast<unsigned>(info.ipi_ifindex);
            }
        }
        return datagram;
    }
    return std::nullopt;
}

std::uint16_t UdpSocket::port() const {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

std::vector<std::size_t> waitReadable(std::span<const int> fds, const Deadline& deadline) {
    std::vector<pollfd> entries;
    entries.reserve(fds.size());
    for (const int fd : fds) {
        entries.push_back({fd, POLLIN, 0});
    }
    std::vector<std::size_t> ready;
    for (;;) {
        const int count = FiberLoop::poll(entries.data(), entries.size(), deadline.pollMilliseconds());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count == 0 && !deadline.expired()) {
            continue;
        }
        break;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if ((entries[i].revents & (POLLIN | POLLERR)) != 0) {
            ready.push_back(i);
        }
    }
    return ready;
}

} // namespace base
