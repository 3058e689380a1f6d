#pragma once

#include "base/FiberLoop.h"
#include "base/FileDescriptor.h"
#include "sim/ConnectionLimits.h"
#include "sim/RefusedClients.h"
#include "sim/ServiceConnection.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// The TCP listener of every simulator server: each accepted connection runs through a handler on a
// thread of its own while it lasts, or on a fiber of a loop that several services share (the accept loop
// then is one too), so a handler reads as the conversation it serves. A handler on a fiber must wait only
// through its ServiceConnection. The service holds its clients to its limits: past the connection limit a
// client is refused (told why in its protocol's words when there is a refusal, see RefusedClients, else only
// closed), and each connection's waits are bounded by the stall and idle limits. Every refusal and every drop
// is logged. Loopback by default; port 0 picks a free port.
class TcpService {
public:
    using Handler = std::function<void(ServiceConnection&)>;
    using Log = std::function<void(const std::string&)>;

    // serviceName starts each log line ("HiSLIP: connection from ..."); it may be empty. Throws
    // std::invalid_argument for an address that is not numeric IPv4 or IPv6 ("[::1]" is taken too),
    // std::system_error naming the address and port when it cannot listen.
    TcpService(const std::string& address, std::uint16_t port, std::string serviceName, Handler handler,
               Log log = {}, ConnectionLimits limits = {},
               std::optional<RefusedClients::Refusal> refusal = std::nullopt,
               base::FiberLoop* fibers = nullptr);
    ~TcpService();
    TcpService(const TcpService&) = delete;
    TcpService& operator=(const TcpService&) = delete;

    std::uint16_t port() const { return port_; }
    // Stops accepting, wakes every handler and waits for them. Idempotent. A loop of fibers given to the
    // constructor must still run.
    void stop();

private:
    struct Job {
        base::FileDescriptor fd;
        std::string peer;
    };

    void acceptLoop();
    void accept();
    void admit(base::FileDescriptor fd, const std::string& peer);
    void workerLoop(Job first);
    void serveOnFiber(Job job);
    void serve(Job job);
    void log(const std::string& line) const;

    std::string prefix_;
    Handler handler_;
    std::optional<RefusedClients> refused_; // the accept loop's own
    Log log_;
    ConnectionLimits limits_;
    base::FileDescriptor listener_;
    base::FileDescriptor stop_;
    std::uint16_t port_ = 0;
    // Workers stay after their connection ends and take the next one, so that a connection costs no
    // thread start and no thread exit; there are never more of them than the connection limit.
    std::mutex mutex_;
    std::condition_variable jobWaiting_;
    std::deque<Job> jobs_;        // handed to an idle worker that has not yet taken it
    std::size_t connections_ = 0; // being served or waiting in jobs_
    std::size_t idleWorkers_ = 0; // idle and not yet promised a job
    std::vector<std::thread> workers_;
    base::FiberLoop* fibers_ = nullptr; // runs the accept loop and serves the connections when set
    bool acceptorRunning_ = false;      // the accept loop's fiber
    std::condition_variable fibersEnded_;
    std::thread acceptThread_;
    bool stopped_ = false;
};

} // namespace sim
