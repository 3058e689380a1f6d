#pragma once

#include "base/FileDescriptor.h"

#include <chrono>
#include <cstdint>
#include <string>

// A TCP socket of the tests' own on 127.0.0.1, on a port the system picks: the one listener under every peer
// the tests play. A port that is only bound, not listening, refuses every connection.
class LoopbackListener {
public:
    enum class Mode { Listening, BoundOnly };

    explicit LoopbackListener(Mode mode = Mode::Listening, int backlog = 4);

    std::uint16_t port() const { return port_; }
    int fd() const { return socket_.get(); }
    // TCPIP0::127.0.0.1::<port>::SOCKET
    std::string socketResource() const;

    // The next connection, waiting at most `bound`; an invalid descriptor when none came.
    base::FileDescriptor accept(std::chrono::milliseconds bound) const;

private:
    base::FileDescriptor socket_;
    std::uint16_t port_ = 0;
};
