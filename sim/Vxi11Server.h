#pragma once

#include "sim/Mainframe.h"
#include "sim/TcpService.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sim {

// The VXI-11 core channel in front of one or more simulated mainframes, device names inst0, inst1...
// in the order given. Each connection may hold links to them, within a limit per connection and in
// all; a connection's links end with it. Each link is a client session of its own on its mainframe,
// and takes part in that mainframe's exclusive lock: device_lock and device_unlock, create_link's
// lockDevice, and every call from another link waits for the lock up to its lock_timeout when it asks
// to wait, or is refused with "device locked by another link". Replies leave through device_read
// only, so an unread reply stays with its link until a read takes it. A client past the connection
// limit gets "out of resources" in answer to its create_link.
class Vxi11Server {
public:
    struct Options {
        // The device names of the first mainframe (tests add gateway-style names such as "gpib0,5");
        // the others are inst1, inst2...
        std::set<std::string> deviceNames{"inst0"};
        // What create_link reports as maxRecvSize; small values make clients split their writes.
        std::uint32_t maxRecvSize = 64 * 1024;
        ConnectionLimits limits{};
        std::size_t linksPerConnection = 16;
        std::size_t maxLinks = 256;
    };

    Vxi11Server(const std::vector<Mainframe*>& mainframes, const std::string& address, std::uint16_t port,
                Options options, TcpService::Log log = {});
    Vxi11Server(Mainframe& mainframe, const std::string& address, std::uint16_t port, Options options,
                TcpService::Log log = {})
        : Vxi11Server(std::vector<Mainframe*>{&mainframe}, address, port, std::move(options),
                      std::move(log)) {}
    Vxi11Server(Mainframe& mainframe, const std::string& address = "127.0.0.1", std::uint16_t port = 0)
        : Vxi11Server(mainframe, address, port, Options{}) {}

    std::uint16_t port() const { return service_.port(); }
    void stop() { service_.stop(); }

    // Every data block received by device_write, in order (tests check how clients split messages).
    std::vector<std::string> writeChunks() const;
    // The device names of the links open now, oldest first.
    std::vector<std::string> linkedDevices() const;

private:
    class Connection;
    void recordChunk(const std::string& data);
    // A number for the new link, or nullopt (with the reason in `refusal`) when the total is reached.
    std::optional<std::uint64_t> openLink(const std::string& device, std::string& refusal);
    void closeLink(std::uint64_t key);

    std::map<std::string, Mainframe*> devices_; // inst0, inst1...
    Options options_;
    TcpService::Log log_;
    mutable std::mutex mutex_;
    std::vector<std::string> writeChunks_;
    std::size_t writeChunkBytes_ = 0;
    std::map<std::uint64_t, std::string> links_; // every open link's device name
    std::uint64_t nextLinkKey_ = 0;
    TcpService service_; // last: its threads use the members above
};

} // namespace sim
