#include "sim/SocketServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace sim {

namespace {

std::system_error systemError(const std::string& what) {
    return {errno, std::generic_category(), what};
}

std::string withoutBrackets(const std::string& address) {
    if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
        return address.substr(1, address.size() - 2);
    }
    return address;
}

base::FileDescriptor listenOn(const std::string& bindAddress, std::uint16_t port) {
    const std::string host = withoutBrackets(bindAddress);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
        throw std::invalid_argument("\"" + bindAddress + "\" is not an IPv4 or IPv6 address");
    }
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
    const std::string where = "cannot listen on " + bindAddress + " port " + service;

    base::FileDescriptor fd(::socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        throw systemError(where);
    }
    // A restarted simulator must not wait for the old connections' TIME_WAIT to pass.
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd.get(), found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd.get(), SOMAXCONN) != 0) {
        throw systemError(where);
    }
    return fd;
}

std::uint16_t boundPort(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw systemError("cannot read the listening port");
    }
    const auto* family = reinterpret_cast<const sockaddr*>(&address);
    const in_port_t port = family->sa_family == AF_INET6
                               ? reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port
                               : reinterpret_cast<const sockaddr_in*>(&address)->sin_port;
    return ntohs(port);
}

std::string describePeer(const sockaddr_storage& address, socklen_t length) {
    char host[NI_MAXHOST] = "?";
    char service[NI_MAXSERV] = "?";
    ::getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, host, sizeof host, service,
                  sizeof service, NI_NUMERICHOST | NI_NUMERICSERV);
    const bool v6 = address.ss_family == AF_INET6;
    return (v6 ? "[" : "") + std::string(host) + (v6 ? "]:" : ":") + service;
}

} // namespace

SocketServer::SocketServer(Mainframe& mainframe, const std::string& bindAddress, std::uint16_t port, Log log)
    : mainframe_(mainframe), log_(std::move(log)), listener_(listenOn(bindAddress, port)),
      wakeup_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (!wakeup_.valid()) {
        throw systemError("cannot create the server's wake-up event");
    }
    port_ = boundPort(listener_.get());
    thread_ = std::thread([this] { run(); });
}

SocketServer::~SocketServer() {
    stop();
}

void SocketServer::stop() {
    std::lock_guard lock(stopMutex_);
    if (!thread_.joinable()) {
        return;
    }
    const std::uint64_t one = 1;
    while (::write(wakeup_.get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
    thread_.join();
    listener_.reset();
}

void SocketServer::log(const std::string& line) const {
    if (!log_) {
        return;
    }
    try {
        log_(line);
    } catch (...) {
        // A failing log (a closed stdout) must not take the server down with it.
    }
}

void SocketServer::run() {
    try {
        serve();
    } catch (const std::exception& e) {
        log(std::string("server stopped: ") + e.what());
    }
    connections_.clear();
}

void SocketServer::acceptConnections() {
    while (true) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        base::FileDescriptor fd(::accept4(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length,
                                          SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd.valid()) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            return; // EAGAIN, or out of descriptors: try again on the next wake-up
        }
        const std::string peer = describePeer(address, length);
        if (connections_.size() >= kMaxConnections) {
            log("refused " + peer + ": already " + std::to_string(kMaxConnections) + " connections");
            continue;
        }
        // A command followed at once by "SYST:ERR?" must not wait for the previous segment's ACK.
        const int on = 1;
        ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        log("connection from " + peer);
        connections_.push_back(std::make_unique<SocketConnection>(std::move(fd), peer));
    }
}

void SocketServer::serve() {
    using Clock = SocketConnection::Clock;
    std::vector<pollfd> polled;
    while (true) {
        const auto now = Clock::now();
        std::erase_if(connections_, [&](const auto& c) { return !c->pump(mainframe_, now); });

        polled.clear();
        polled.push_back({wakeup_.get(), POLLIN, 0});
        polled.push_back({listener_.get(), POLLIN, 0});
        int timeoutMs = -1;
        for (const auto& connection : connections_) {
            polled.push_back({connection->fd(), connection->pollEvents(now), 0});
            if (const auto due = connection->dueAt(now)) {
                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - now).count();
                const int waitMs = static_cast<int>(std::min<long long>(wait, 60'000));
                timeoutMs = timeoutMs < 0 ? waitMs : std::min(timeoutMs, waitMs);
            }
        }
        if (::poll(polled.data(), polled.size(), timeoutMs) < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw systemError("poll failed");
        }
        if (polled[0].revents != 0) {
            return;
        }
        // Connections accepted now are not in `polled` yet; their turn comes on the next round.
        const std::size_t existing = connections_.size();
        if (polled[1].revents != 0) {
            acceptConnections();
        }
        std::vector<bool> closing(existing, false);
        for (std::size_t i = 0; i < existing; ++i) {
            const short revents = polled[i + 2].revents;
            if ((revents & POLLIN) != 0) {
                closing[i] = !connections_[i]->receiveAvailable();
            } else if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                closing[i] = true;
            }
        }
        for (std::size_t i = existing; i-- > 0;) {
            if (closing[i]) {
                connections_.erase(connections_.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
    }
}

} // namespace sim
