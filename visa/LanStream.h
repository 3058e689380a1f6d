#pragma once

#include "base/Deadline.h"
#include "base/FileDescriptor.h"
#include "visa/VisaError.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace visa {

// One connected TCP stream of a LAN protocol session (an RPC channel, a HiSLIP channel): sends and
// receives raw bytes within a deadline and words every failure for the bench user, starting with the
// resource text. Framing is the protocol codec's business.
class LanStream {
public:
    // Connects with TCP_NODELAY within the deadline (TcpConnector's failures pass through).
    static LanStream connect(const std::string& resource, const std::string& host, std::uint16_t port,
                             const base::Deadline& deadline);

    LanStream(std::string resource, base::FileDescriptor socket);

    // Throws Timeout with "<what> within N ms" when the deadline passes first.
    void sendAll(std::string_view bytes, const base::Deadline& deadline, std::string_view what);
    // Whatever arrives next, up to 64 KiB; nullopt when the deadline passes first. A peer that
    // closes or resets the connection is a ConnectionLost failure.
    std::optional<std::string> receiveSome(const base::Deadline& deadline);

    bool isOpen() const { return socket_.valid(); }
    void close() { socket_.reset(); }
    const std::string& resource() const { return resource_; }

    [[noreturn]] void fail(VisaError::Kind kind, const std::string& what) const;

private:
    std::string resource_;
    base::FileDescriptor socket_;
};

} // namespace visa
