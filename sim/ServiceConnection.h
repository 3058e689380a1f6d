#pragma once

#include "base/FileDescriptor.h"
#include "sim/ConnectionLimits.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// One accepted connection of a TcpService. Every wait also wakes when the service stops, so that a
// handler never outlives its server, and every wait is bounded by the service's limits, so that a
// client that stalls cannot hold its place for ever.
class ServiceConnection {
public:
    using Clock = std::chrono::steady_clock;

    ServiceConnection(base::FileDescriptor fd, int stopFd, std::string peer, ConnectionLimits limits);
    ServiceConnection(const ServiceConnection&) = delete;
    ServiceConnection& operator=(const ServiceConnection&) = delete;

    // The next bytes; nullopt when the peer closed, the connection failed, the service stops or a
    // limit ran out (dropReason() then says which). midMessage tells that the bytes so far end inside
    // a message: the message must then be finished within the stall limit, counted from its first
    // bytes, however slowly the rest trickles in. Otherwise the idle limit applies.
    std::optional<std::string> receiveSome(bool midMessage = false);
    // False when the peer is gone, the service stops or the peer takes nothing for the stall limit.
    bool sendAll(std::string_view bytes);
    // Sleeps; false when the service stops or the peer hangs up first.
    bool sleepFor(std::chrono::milliseconds duration);
    void hangUp();
    // False once the service stops or the peer has hung up; does not wait.
    bool peerStillThere() const;

    const std::string& peer() const { return peer_; }
    // Why a limit dropped the connection; empty when none did.
    const std::string& dropReason() const { return dropReason_; }

private:
    // 1 = fd ready, 0 = timed out, -1 = stopping or failed.
    int waitFor(short events, int timeoutMs);

    base::FileDescriptor fd_;
    int stopFd_;
    std::string peer_;
    ConnectionLimits limits_;
    Clock::time_point lastReceived_;
    Clock::time_point lastTraffic_;
    std::optional<Clock::time_point> messageSince_;
    std::string dropReason_;
};

} // namespace sim
