#pragma once

#include "sim/Mainframe.h"
#include "sim/TcpService.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace sim {

// HiSLIP in front of one simulated mainframe, synchronized mode. A session is a synchronous channel
// (Initialize with the sub-address "hislip0") plus an asynchronous one (AsyncInitialize with the
// session id). Replies go out as DataEnd with the message id of the query, as soon as they exist.
class HislipServer {
public:
    HislipServer(Mainframe& mainframe, const std::string& address = "127.0.0.1", std::uint16_t port = 0,
                 TcpService::Log log = {});

    std::uint16_t port() const { return service_.port(); }
    void stop() { service_.stop(); }

    // What a client may put in one message, and what we tell clients in the size exchange.
    static constexpr std::uint64_t kMaxMessageSize = 1u << 20;

private:
    void serve(ServiceConnection& connection);
    std::uint16_t openSession();
    bool sessionExists(std::uint16_t id) const;
    void closeSession(std::uint16_t id);

    Mainframe& mainframe_;
    mutable std::mutex mutex_;
    std::set<std::uint16_t> sessions_; // the sessions whose synchronous channel is open
    std::uint16_t nextSessionId_ = 1;
    TcpService service_; // last: its threads use the members above
};

} // namespace sim
