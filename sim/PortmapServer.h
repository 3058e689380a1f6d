#pragma once

#include "protocol/RpcMessage.h"
#include "sim/DatagramService.h"
#include "sim/TcpService.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>

namespace sim {

// A minimal portmapper (program 100000 version 2 over TCP): answers GETPORT for the programs
// registered with it, so that VXI-11 clients find the simulator's core channel.
class PortmapServer {
public:
    // Port 111 is what every VXI-11 client asks; tests may pass 0 for a free port.
    PortmapServer(const std::string& address, std::uint16_t port, TcpService::Log log = {},
                  ConnectionLimits limits = {});

    void registerProgram(std::uint32_t program, std::uint32_t version, std::uint32_t protocol,
                         std::uint16_t port);
    std::uint16_t port() const { return service_.port(); }
    // Also answers over UDP on the same address and port, broadcasts to it included
    // (sim/PortmapDatagrams.h); false for an IPv6 address. Throws std::system_error when it cannot bind.
    bool serveUdp();
    // Whether the UDP service hears broadcasts too: not on a loopback address, which has none.
    bool hearsBroadcasts() const { return hearsBroadcasts_; }
    void stop();

private:
    std::optional<protocol::RpcReply> answer(const protocol::RpcCall& call) const;
    std::uint16_t lookUp(std::uint32_t program, std::uint32_t version, std::uint32_t protocol) const;

    mutable std::mutex mutex_;
    std::map<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>, std::uint16_t> ports_;
    std::string address_;
    TcpService::Log log_;
    TcpService service_; // after the members its threads use
    std::unique_ptr<DatagramService> datagrams_;
    bool hearsBroadcasts_ = false;
};

} // namespace sim
