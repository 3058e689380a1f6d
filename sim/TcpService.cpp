#include "sim/TcpService.h"

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

namespace {

// More than a bench needs; a client that opens connections in a loop must not exhaust threads.
constexpr std::size_t kMaxConnections = 32;

std::string peerText(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
        ::inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
        return "[" + std::string(text) + "]:" + std::to_string(ntohs(in6.sin6_port));
    }
    const auto& in4 = reinterpret_cast<const sockaddr_in&>(address);
    ::inet_ntop(AF_INET, &in4.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(in4.sin_port));
}

} // namespace

ServiceConnection::ServiceConnection(int fd, int stopFd, std::string peer)
    : fd_(fd), stopFd_(stopFd), peer_(std::move(peer)) {}

ServiceConnection::~ServiceConnection() {
    hangUp();
}

void ServiceConnection::hangUp() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

int ServiceConnection::waitFor(short events, int timeoutMs) {
    if (fd_ < 0) {
        return -1;
    }
    for (;;) {
        pollfd fds[2] = {{fd_, events, 0}, {stopFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || fds[1].revents != 0) {
            return -1;
        }
        return ready == 0 ? 0 : 1;
    }
}

std::optional<std::string> ServiceConnection::receiveSome() {
    std::array<char, 64 * 1024> chunk;
    for (;;) {
        if (waitFor(POLLIN, -1) < 0) {
            return std::nullopt;
        }
        const auto n = ::recv(fd_, chunk.data(), chunk.size(), MSG_DONTWAIT);
        if (n > 0) {
            return std::string(chunk.data(), static_cast<std::size_t>(n));
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        return std::nullopt;
    }
}

bool ServiceConnection::sendAll(std::string_view bytes) {
    while (!bytes.empty()) {
        if (waitFor(POLLOUT, -1) < 0) {
            return false;
        }
        const auto n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
    }
    return true;
}

bool ServiceConnection::sleepFor(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return true;
        }
        // A peer that hangs up ends the wait too: nobody is left to answer.
        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {fd_, POLLRDHUP, 0}};
        const int ready =
            ::poll(fds, fd_ >= 0 ? 2 : 1, static_cast<int>(std::min<long long>(left.count(), 1 << 30)));
        if (ready > 0) {
            return false;
        }
    }
}

TcpService::TcpService(const std::string& address, std::uint16_t port, std::string serviceName,
                       Handler handler, Log log)
    : serviceName_(std::move(serviceName)), handler_(std::move(handler)), log_(std::move(log)) {
    // "[::1]" as well as "::1", as the raw socket server takes it.
    const std::string host = address.size() > 2 && address.front() == '[' && address.back() == ']'
                                 ? address.substr(1, address.size() - 2)
                                 : address;
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto& in4 = reinterpret_cast<sockaddr_in&>(storage);
    auto& in6 = reinterpret_cast<sockaddr_in6&>(storage);
    if (::inet_pton(AF_INET, host.c_str(), &in4.sin_addr) == 1) {
        in4.sin_family = AF_INET;
        in4.sin_port = htons(port);
        length = sizeof in4;
    } else if (::inet_pton(AF_INET6, host.c_str(), &in6.sin6_addr) == 1) {
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        length = sizeof in6;
    } else {
        throw std::runtime_error(serviceName_ + ": \"" + address + "\" is not an IPv4 or IPv6 address");
    }
    const std::string where =
        serviceName_ + ": cannot listen on " + address + " port " + std::to_string(port);
    listenFd_ = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        throw std::runtime_error(where + ": " + std::strerror(errno));
    }
    const int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
        ::listen(listenFd_, 16) != 0) {
        const int error = errno;
        ::close(listenFd_);
        throw std::runtime_error(where + ": " + std::strerror(error) +
                                 (error == EADDRINUSE ? " (another program already serves this port)" : ""));
    }
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &boundLength);
    port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(bound).sin6_port
                                              : reinterpret_cast<sockaddr_in&>(bound).sin_port);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (stopFd_ < 0) {
        ::close(listenFd_);
        throw std::runtime_error(where + ": " + std::strerror(errno));
    }
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

TcpService::~TcpService() {
    stop();
    ::close(stopFd_);
    ::close(listenFd_);
}

void TcpService::stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopped_) {
            return;
        }
        stopped_ = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(stopFd_, &one, sizeof one);
    acceptThread_.join();
    // No new workers can start now: the accept loop has ended.
    for (Worker& worker : workers_) {
        worker.thread.join();
    }
    workers_.clear();
}

void TcpService::reapFinishedWorkers() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (*it->done) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void TcpService::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::lock_guard lock(mutex_);
        reapFinishedWorkers();
        if (workers_.size() >= kMaxConnections) {
            ::close(fd);
            continue;
        }
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::string peerName = peerText(peer);
        if (log_) {
            log_(serviceName_ + ": connection from " + peerName);
        }
        workers_.push_back(Worker{std::thread([this, fd, done, peerName] {
                                      {
                                          ServiceConnection connection(fd, stopFd_, peerName);
                                          try {
                                              handler_(connection);
                                          } catch (const std::exception& e) {
                                              if (log_) {
                                                  log_(serviceName_ + ": " + peerName + ": " + e.what());
                                              }
                                          }
                                      }
                                      *done = true;
                                  }),
                                  done});
    }
}

} // namespace sim
