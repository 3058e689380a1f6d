#pragma once

#include "sim/Mainframe.h"
#include "sim/TcpService.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

class ClientSession;
class HislipReader;

// HiSLIP in front of one or more simulated mainframes, synchronized mode: sub-address hislip0 for the
// first, hislip1 for the second... A session is a synchronous channel (Initialize with the
// sub-address) plus one asynchronous channel (AsyncInitialize with the session id), and a client
// session of its own on the mainframe. Data is served only once both channels are open. Replies go
// out as DataEnd with the message id of the query, as soon as they exist. The exclusive lock is the
// mainframe's, shared with its other transports: AsyncLock requests wait up to their time-out, a
// message from another session waits until the lock is released (the protocol gives Data no time-out
// of its own; the client's I/O time-out ends its wait), and the lock goes with its session's channels.
// Shared locks (a lock string) are refused with error. A client past the connection limit is told
// "maximum clients exceeded" with FatalError as soon as it connects.
class HislipServer {
public:
    HislipServer(const std::vector<Mainframe*>& mainframes, const std::string& address, std::uint16_t port,
                 TcpService::Log log = {}, ConnectionLimits limits = {});
    HislipServer(Mainframe& mainframe, const std::string& address = "127.0.0.1", std::uint16_t port = 0,
                 TcpService::Log log = {}, ConnectionLimits limits = {})
        : HislipServer(std::vector<Mainframe*>{&mainframe}, address, port, std::move(log), limits) {}

    std::uint16_t port() const { return service_.port(); }
    void stop() { service_.stop(); }

    // What a client may put in one message, and what we tell clients in the size exchange.
    static constexpr std::uint64_t kMaxMessageSize = 1u << 20;

private:
    struct Session {
        std::shared_ptr<ClientSession> exchange;
        bool asyncOpen = false;
    };

    void serve(ServiceConnection& connection);
    void serveInitialize(ServiceConnection& connection, HislipReader& reader, const std::string& subAddress);
    void serveSynchronous(ServiceConnection& connection, HislipReader& reader, std::uint16_t id,
                          ClientSession& exchange);
    void serveAsynchronous(ServiceConnection& connection, HislipReader& reader, std::uint16_t id,
                           ClientSession& exchange);
    std::uint16_t openSession(std::shared_ptr<ClientSession> exchange);
    // The session's exchange, once: nullptr when there is no such session or it already has its
    // asynchronous channel (`why` says which).
    std::shared_ptr<ClientSession> attachAsync(std::uint16_t id, std::string& why);
    bool asyncOpen(std::uint16_t id) const;
    void closeSession(std::uint16_t id);

    std::vector<Mainframe*> mainframes_; // by sub-address number
    mutable std::mutex mutex_;
    std::map<std::uint16_t, Session> sessions_; // the sessions whose synchronous channel is open
    std::uint16_t nextSessionId_ = 1;
    TcpService service_; // last: its threads use the members above
};

} // namespace sim
