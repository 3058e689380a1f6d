#include "sim/TcpService.h"

#include "base/FiberGuard.h"

#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace sim {

namespace {

using namespace std::chrono_literals;

std::string withoutBrackets(const std::string& address) {
    if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
        return address.substr(1, address.size() - 2);
    }
    return address;
}

base::FileDescriptor listenOn(const std::string& prefix, const std::string& bindAddress, std::uint16_t port) {
    const std::string host = withoutBrackets(bindAddress);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
        throw std::invalid_argument(prefix + "\"" + bindAddress + "\" is not an IPv4 or IPv6 address");
    }
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
    const std::string where = prefix + "cannot listen on " + bindAddress + " port " + service;

    base::FileDescriptor fd(::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        throw std::system_error(errno, std::generic_category(), where);
    }
    // A restarted simulator must not wait for the old connections' TIME_WAIT to pass.
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd.get(), found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd.get(), SOMAXCONN) != 0) {
        const int error = errno;
        throw std::system_error(
            error, std::generic_category(),
            where + (error == EADDRINUSE ? " (another program already serves this port)" : ""));
    }
    return fd;
}

std::uint16_t boundPort(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot read the listening port");
    }
    const in_port_t port = address.ss_family == AF_INET6
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

TcpService::TcpService(const std::string& address, std::uint16_t port, std::string serviceName,
                       Handler handler, Log log, ConnectionLimits limits,
                       std::optional<RefusedClients::Refusal> refusal, base::FiberLoop* fibers)
    : prefix_(serviceName.empty() ? "" : serviceName + ": "), handler_(std::move(handler)),
      log_(std::move(log)), limits_(limits), listener_(listenOn(prefix_, address, port)),
      stop_(::eventfd(0, EFD_CLOEXEC)), fibers_(fibers) {
    if (!stop_.valid()) {
        throw std::system_error(errno, std::generic_category(), prefix_ + "cannot create the stop event");
    }
    port_ = boundPort(listener_.get());
    if (refusal) {
        refused_.emplace(std::move(*refusal));
    }
    if (fibers_ != nullptr) {
        // The accept loop is a fiber too: a new connection then wakes no thread but the loop's.
        acceptorRunning_ = true;
        fibers_->post([this] {
            // Whatever ends the accept loop, stop() must learn that it has ended, or it waits forever.
            try {
                acceptLoop();
            } catch (const std::exception& e) {
                this->log(std::string("no longer accepting connections: ") + e.what());
            }
            const std::lock_guard lock(mutex_);
            acceptorRunning_ = false;
            fibersEnded_.notify_all();
        });
        return;
    }
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

TcpService::~TcpService() {
    stop();
}

void TcpService::log(const std::string& line) const {
    if (!log_) {
        return;
    }
    try {
        log_(prefix_ + line);
    } catch (...) {
        // A failing log (a closed stdout) must not take the server down with it.
    }
}

void TcpService::stop() {
    // It waits for the connections' fibers to end: on one of them it would wait for itself.
    base::assertNotOnFiber("TcpService::stop");
    {
        std::lock_guard lock(mutex_);
        if (stopped_) {
            return;
        }
        stopped_ = true;
    }
    const std::uint64_t one = 1;
    while (::write(stop_.get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
    if (acceptThread_.joinable()) {
        acceptThread_.join();
    }
    // No new workers can start now: the accept loop has ended. The stop event ends every handler's wait.
    jobWaiting_.notify_all();
    if (fibers_ != nullptr) {
        std::unique_lock lock(mutex_);
        fibersEnded_.wait(lock, [this] { return !acceptorRunning_ && connections_ == 0; });
    }
    for (std::thread& worker : workers_) {
        worker.join();
    }
    workers_.clear();
    jobs_.clear();
    listener_.reset();
}

void TcpService::acceptLoop() {
    std::vector<pollfd> fds;
    for (;;) {
        fds = {{listener_.get(), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
        if (refused_) {
            refused_->appendPollFds(fds);
        }
        if (base::FiberLoop::poll(fds.data(), fds.size(), refused_ ? refused_->pollTimeout() : -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        if (refused_) {
            refused_->serve(std::span(fds).subspan(2));
        }
        if (fds[0].revents != 0) {
            accept();
        }
    }
}

void TcpService::accept() {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    base::FileDescriptor fd(
        ::accept4(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC));
    if (!fd.valid()) {
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            // Out of descriptors: the pending connection stays ready, so do not spin on it.
            pollfd stopOnly{stop_.get(), POLLIN, 0};
            base::FiberLoop::poll(&stopOnly, 1, 100);
        }
        return;
    }
    // A command followed at once by a query must not wait for the previous segment's ACK.
    const int on = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    admit(std::move(fd), describePeer(address, length));
}

void TcpService::admit(base::FileDescriptor fd, const std::string& peer) {
    std::lock_guard lock(mutex_);
    if (connections_ >= limits_.maxConnections) {
        log("refused " + peer + ": already " + std::to_string(limits_.maxConnections) + " connections");
        if (refused_) {
            refused_->add(std::move(fd));
        }
        return;
    }
    log("connection from " + peer);
    Job job{std::move(fd), peer};
    if (fibers_ != nullptr) {
        ++connections_;
        // A std::function is copied, the connection is not: it travels in a shared box.
        auto box = std::make_shared<Job>(std::move(job));
        fibers_->post([this, box] { serveOnFiber(std::move(*box)); });
        return;
    }
    if (idleWorkers_ > 0) {
        --idleWorkers_;
        jobs_.push_back(std::move(job));
        jobWaiting_.notify_one();
        ++connections_;
        return;
    }
    try {
        workers_.emplace_back(&TcpService::workerLoop, this, std::move(job));
        ++connections_;
    } catch (const std::system_error& e) {
        log("cannot serve " + peer + ": " + e.what()); // out of threads: the client is closed
    }
}

void TcpService::workerLoop(Job first) {
    serve(std::move(first));
    std::unique_lock lock(mutex_);
    for (;;) {
        --connections_;
        ++idleWorkers_;
        jobWaiting_.wait(lock, [this] { return stopped_ || !jobs_.empty(); });
        if (stopped_) {
            return;
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        serve(std::move(job));
        lock.lock();
    }
}

void TcpService::serveOnFiber(Job job) {
    // Counted out on every way out, as stop() waits for the count to reach zero.
    struct CountedOut {
        TcpService& service;
        ~CountedOut() {
            const std::lock_guard lock(service.mutex_);
            if (--service.connections_ == 0) {
                service.fibersEnded_.notify_all();
            }
        }
    } countedOut{*this};
    serve(std::move(job));
}

void TcpService::serve(Job job) {
    ServiceConnection connection(std::move(job.fd), stop_.get(), job.peer, limits_);
    try {
        handler_(connection);
    } catch (const std::exception& e) {
        log(job.peer + ": " + e.what());
    }
    if (!connection.dropReason().empty()) {
        log("dropped " + job.peer + ": " + connection.dropReason());
    }
}

} // namespace sim
