#pragma once

#include "base/FileDescriptor.h"
#include "sim/Mainframe.h"
#include "sim/MessageFramer.h"

#include <chrono>
#include <optional>
#include <string>

namespace sim {

// One raw-socket client of the simulated mainframe. Messages are handled strictly in order: while a
// reply waits for its delay or for room in the socket, later messages stay in the framer and the
// socket is not read, so a client that never reads cannot make us buffer without end.
class SocketConnection {
public:
    using Clock = std::chrono::steady_clock;

    SocketConnection(base::FileDescriptor fd, std::string peer);

    int fd() const { return fd_.get(); }
    const std::string& peer() const { return peer_; }

    // Reads what the socket has; false when the peer closed or the socket failed.
    bool receiveAvailable();
    // Runs buffered messages and sends due replies; false when the connection must close.
    bool pump(Mainframe& mainframe, Clock::time_point now);

    // What to wait for: poll events, and the time a delayed reply falls due.
    short pollEvents(Clock::time_point now) const;
    std::optional<Clock::time_point> dueAt(Clock::time_point now) const;

private:
    bool handle(const MessageFramer::Message& message, Mainframe& mainframe, Clock::time_point now);
    bool sendOutput();

    base::FileDescriptor fd_;
    std::string peer_;
    MessageFramer framer_{Mainframe::kMaxMessageBytes};
    std::string output_;
    std::size_t sentBytes_ = 0;
    Clock::time_point sendAt_{};
};

} // namespace sim
