#pragma once

#include "sim/ConnectionLimits.h"
#include "sim/Mainframe.h"
#include "sim/TcpService.h"

#include <cstdint>
#include <string>

namespace sim {

// Serves one mainframe over raw SCPI on TCP, as instruments do on port 5025: messages end with LF and
// every reply is sent as soon as it is ready. A few clients may be connected at once, each with a
// session of its own on the shared instrument. Messages of one client are handled strictly in order:
// while a reply waits for its delay or for room in the socket, the socket is not read, so a client
// that never reads cannot make us buffer without end. The raw socket has no lock of its own: while a
// VXI-11 or HiSLIP client holds the instrument's lock, a message from here waits until it is released.
// The listening socket is open when the constructor returns. The servers of a rack share one loop of
// fibers (see TcpService), so that a reply costs no thread wake-up.
class SocketServer {
public:
    using Log = TcpService::Log;
    static constexpr ConnectionLimits kDefaultLimits{8, std::chrono::seconds(30), std::chrono::seconds(0)};

    // bindAddress is numeric IPv4 or IPv6 text ("::1" or "[::1]"); port 0 picks a free one. Throws
    // std::system_error (or std::invalid_argument for a bad address) when it cannot listen.
    explicit SocketServer(Mainframe& mainframe, const std::string& bindAddress = "127.0.0.1",
                          std::uint16_t port = 0, Log log = {}, ConnectionLimits limits = kDefaultLimits,
                          base::FiberLoop* fibers = nullptr);

    std::uint16_t port() const { return service_.port(); }
    // Closes every connection and the listening socket; returns when every connection has ended.
    void stop() { service_.stop(); }

private:
    void serve(ServiceConnection& connection);

    Mainframe& mainframe_;
    TcpService service_; // last: its threads use the members above
};

} // namespace sim
