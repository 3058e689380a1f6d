#pragma once

#include "base/FileDescriptor.h"
#include "sim/Mainframe.h"
#include "sim/SocketConnection.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// Serves one mainframe over raw SCPI on TCP, as instruments do on port 5025: messages end with LF and
// every reply is sent as soon as it is ready. A few clients may be connected at once; they share the
// instrument as they would a real one. The listening socket is open when the constructor returns, and
// the server runs on its own thread until stop() or destruction.
class SocketServer {
public:
    using Log = std::function<void(const std::string& line)>;
    static constexpr std::size_t kMaxConnections = 8;

    // bindAddress is numeric IPv4 or IPv6 text ("::1" or "[::1]"); port 0 picks a free one. Throws
    // std::system_error (or std::invalid_argument for a bad address) when it cannot listen.
    explicit SocketServer(Mainframe& mainframe, const std::string& bindAddress = "127.0.0.1",
                          std::uint16_t port = 0, Log log = {});
    ~SocketServer();
    SocketServer(const SocketServer&) = delete;
    SocketServer& operator=(const SocketServer&) = delete;

    std::uint16_t port() const { return port_; }
    // Closes every connection and the listening socket; returns when the server thread has ended.
    void stop();

private:
    void run();
    void serve();
    void acceptConnections();
    void log(const std::string& line) const;

    Mainframe& mainframe_;
    Log log_;
    base::FileDescriptor listener_;
    base::FileDescriptor wakeup_;
    std::uint16_t port_ = 0;
    std::vector<std::unique_ptr<SocketConnection>> connections_; // the server thread's own
    std::mutex stopMutex_;
    std::thread thread_;
};

} // namespace sim
