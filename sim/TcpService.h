#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace sim {

// One accepted connection of a TcpService. Every wait also wakes when the service stops, so that a
// handler never outlives its server.
class ServiceConnection {
public:
    ServiceConnection(int fd, int stopFd, std::string peer);
    ~ServiceConnection();
    ServiceConnection(const ServiceConnection&) = delete;
    ServiceConnection& operator=(const ServiceConnection&) = delete;

    // The next bytes; nullopt when the peer closed, the connection failed or the service stops.
    std::optional<std::string> receiveSome();
    // False when the peer is gone or the service stops.
    bool sendAll(std::string_view bytes);
    // Sleeps; false when the service stops or the peer hangs up first.
    bool sleepFor(std::chrono::milliseconds duration);
    void hangUp();

    const std::string& peer() const { return peer_; }

private:
    // 1 = fd ready, 0 = timed out, -1 = stopping or failed.
    int waitFor(short events, int timeoutMs);

    int fd_;
    int stopFd_;
    std::string peer_;
};

// A TCP listener that runs each accepted connection through a handler on its own thread, for the
// simulator's protocol servers. Loopback by default; port 0 picks a free port.
class TcpService {
public:
    using Handler = std::function<void(ServiceConnection&)>;
    using Log = std::function<void(const std::string&)>;

    // Throws std::runtime_error naming the address, the port and the reason when it cannot listen.
    TcpService(const std::string& address, std::uint16_t port, std::string serviceName, Handler handler,
               Log log = {});
    ~TcpService();
    TcpService(const TcpService&) = delete;
    TcpService& operator=(const TcpService&) = delete;

    std::uint16_t port() const { return port_; }
    // Stops accepting, wakes every handler and waits for them. Idempotent.
    void stop();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void acceptLoop();
    void reapFinishedWorkers();

    std::string serviceName_;
    Handler handler_;
    Log log_;
    int listenFd_ = -1;
    int stopFd_ = -1;
    std::uint16_t port_ = 0;
    std::mutex mutex_;
    std::list<Worker> workers_;
    std::thread acceptThread_;
    bool stopped_ = false;
};

} // namespace sim
