#pragma once

#include "sim/Mainframe.h"
#include "sim/TcpService.h"

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace sim {

// The VXI-11 core channel in front of one simulated mainframe. Each connection may hold links to
// the device names it serves ("inst0" unless told otherwise). Replies leave through device_read
// only, so an unread reply stays at the mainframe until a read takes it.
class Vxi11Server {
public:
    struct Options {
        std::set<std::string> deviceNames{"inst0"};
        // What create_link reports as maxRecvSize; small values make clients split their writes.
        std::uint32_t maxRecvSize = 64 * 1024;
    };

    Vxi11Server(Mainframe& mainframe, const std::string& address, std::uint16_t port, Options options,
                TcpService::Log log = {});
    Vxi11Server(Mainframe& mainframe, const std::string& address = "127.0.0.1", std::uint16_t port = 0)
        : Vxi11Server(mainframe, address, port, Options{}) {}

    std::uint16_t port() const { return service_.port(); }
    void stop() { service_.stop(); }

    // Every data block received by device_write, in order (tests check how clients split messages).
    std::vector<std::string> writeChunks() const;
    // The device names that links were created for, in order.
    std::vector<std::string> linkedDevices() const;

private:
    class Connection;
    void recordChunk(const std::string& data);
    void recordLink(const std::string& device);

    Mainframe& mainframe_;
    Options options_;
    mutable std::mutex mutex_;
    std::vector<std::string> writeChunks_;
    std::vector<std::string> linkedDevices_;
    TcpService service_; // last: its threads use the members above
};

} // namespace sim
