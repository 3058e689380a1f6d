#include "visa/AddressResolver.h"

#include "base/FiberLoop.h"

#include <ares.h>
#include <cstring>
#include <memory>
#include <netdb.h>
#include <poll.h>

namespace visa {
namespace {

void takeAddress(AddressResolver::Result& result, int family, const sockaddr* address, std::size_t length) {
    if (length > sizeof(sockaddr_storage))
        return;
    SocketAddress entry;
    entry.family = family;
    std::memcpy(&entry.storage, address, length);
    entry.length = static_cast<socklen_t>(length);
    result.addresses.push_back(entry);
}

AddressResolver::Result numericAddresses(const std::string& host, std::uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV | AI_NUMERICHOST;
    const std::string service = std::to_string(port);
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owned(list, &::freeaddrinfo);
    AddressResolver::Result result;
    if (rc != 0) {
        result.detail = ::gai_strerror(rc);
        return result;
    }
    for (const addrinfo* entry = list; entry; entry = entry->ai_next)
        takeAddress(result, entry->ai_family, entry->ai_addr, entry->ai_addrlen);
    result.status =
        result.addresses.empty() ? AddressResolver::Status::UnknownHost : AddressResolver::Status::Resolved;
    return result;
}

// One c-ares channel, destroyed with whatever look-up it still has (its callback then says so).
class Channel {
public:
    explicit Channel(const std::string& nameServers) {
        status_ = ::ares_init(&channel_);
        if (status_ == ARES_SUCCESS && !nameServers.empty())
            status_ = ::ares_set_servers_ports_csv(channel_, nameServers.c_str());
    }
    ~Channel() {
        if (channel_ != nullptr)
            ::ares_destroy(channel_);
    }
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    ares_channel get() const { return channel_; }
    int status() const { return status_; }

private:
    ares_channel channel_ = nullptr;
    int status_ = ARES_SUCCESS;
};

struct LookUp {
    bool done = false;
    AddressResolver::Result result;
};

void lookedUp(void* argument, int status, int /*timeouts*/, ares_addrinfo* answer) {
    auto& lookUp = *static_cast<LookUp*>(argument);
    const std::unique_ptr<ares_addrinfo, decltype(&::ares_freeaddrinfo)> owned(answer, &::ares_freeaddrinfo);
    lookUp.done = true;
    auto& result = lookUp.result;
    if (status != ARES_SUCCESS) {
        const bool unknown = status == ARES_ENOTFOUND || status == ARES_ENONAME || status == ARES_ENODATA;
        result.status = unknown ? AddressResolver::Status::UnknownHost : AddressResolver::Status::Failed;
        result.detail = ::ares_strerror(status);
        return;
    }
    for (const ares_addrinfo_node* node = answer ? answer->nodes : nullptr; node; node = node->ai_next)
        takeAddress(result, node->ai_family, node->ai_addr, node->ai_addrlen);
    result.status =
        result.addresses.empty() ? AddressResolver::Status::UnknownHost : AddressResolver::Status::Resolved;
}

// The channel's sockets and what it waits for on each, as poll takes them.
std::vector<pollfd> channelSockets(ares_channel channel) {
    ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
    const int mask = ::ares_getsock(channel, sockets, ARES_GETSOCK_MAXNUM);
    std::vector<pollfd> entries;
    for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
        short events = 0;
        if (ARES_GETSOCK_READABLE(mask, i))
            events |= POLLIN;
        if (ARES_GETSOCK_WRITABLE(mask, i))
            events |= POLLOUT;
        if (events != 0)
            entries.push_back({sockets[i], events, 0});
    }
    return entries;
}

} // namespace

bool AddressResolver::isNumeric(const std::string& host) {
    return numericAddresses(host, 0).status == Status::Resolved;
}

AddressResolver::Result AddressResolver::resolve(const std::string& host, std::uint16_t port,
                                                 const base::Deadline& deadline,
                                                 const std::string& nameServers) {
    if (isNumeric(host))
        return numericAddresses(host, port);

    LookUp lookUp;
    const Channel channel(nameServers);
    if (channel.status() != ARES_SUCCESS) {
        lookUp.result.detail = ::ares_strerror(channel.status());
        return lookUp.result;
    }
    ares_addrinfo_hints hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = ARES_AI_NUMERICSERV;
    const std::string service = std::to_string(port);
    ::ares_getaddrinfo(channel.get(), host.c_str(), service.c_str(), &hints, lookedUp, &lookUp);
    while (!lookUp.done) {
        if (deadline.expired()) {
            Result timedOut;
            timedOut.status = Status::TimedOut;
            return timedOut;
        }
        auto entries = channelSockets(channel.get());
        timeval limit{deadline.pollMilliseconds() / 1000, (deadline.pollMilliseconds() % 1000) * 1000};
        timeval wait{};
        const timeval* next = ::ares_timeout(channel.get(), &limit, &wait);
        const int waitMs = static_cast<int>(next->tv_sec * 1000 + (next->tv_usec + 999) / 1000);
        if (base::FiberLoop::poll(entries.data(), entries.size(), waitMs) <= 0) {
            ::ares_process_fd(channel.get(), ARES_SOCKET_BAD, ARES_SOCKET_BAD); // the channel's own time-outs
            continue;
        }
        for (const pollfd& entry : entries) {
            const bool readable = (entry.revents & (POLLIN | POLLERR | POLLHUP)) != 0;
            const bool writable = (entry.revents & POLLOUT) != 0;
            if (readable || writable)
                ::ares_process_fd(channel.get(), readable ? entry.fd : ARES_SOCKET_BAD,
                                  writable ? entry.fd : ARES_SOCKET_BAD);
        }
    }
    return lookUp.result;
}

} // namespace visa
