#pragma once

#include "base/Deadline.h"
#include "base/FileDescriptor.h"
#include "protocol/DecodeError.h"
#include "visa/VisaError.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace visa {

// One connected TCP stream to an instrument (a raw SCPI socket, an RPC channel, a HiSLIP channel): sends
// and receives raw bytes within a deadline and words every failure for the bench user, starting with the
// resource text. Framing is the protocol codec's business.
class LanStream {
public:
    // Connects with TCP_NODELAY within the deadline (TcpConnector's failures pass through).
    static LanStream connect(const std::string& resource, const std::string& host, std::uint16_t port,
                             const base::Deadline& deadline);

    LanStream(std::string resource, base::FileDescriptor socket);

    // Throws Timeout with "<what> within N ms (the instrument takes no input)" when the deadline passes
    // first.
    void sendAll(std::string_view bytes, const base::Deadline& deadline, std::string_view what);
    // Whatever arrives next, up to 64 KiB; nullopt when the deadline passes first. A peer that
    // closes or resets the connection is a ConnectionLost failure.
    std::optional<std::string> receiveSome(const base::Deadline& deadline);
    // What has arrived and can be read at once, without waiting; a peer that keeps sending cannot keep
    // this going, and a failed connection shows on the next receive.
    std::string takeReadable();

    // Hands the next bytes to a protocol assembler. Throws Timeout "<what> within N ms" when the deadline
    // passes first (or has passed: a peer that keeps sending stale data must not hold a call beyond it). A
    // stream whose bytes the assembler cannot frame is closed, since nothing after them can be trusted,
    // and fails as Protocol "<malformed>: <reason>".
    template <typename Assembler>
    void receiveInto(Assembler& assembler, const base::Deadline& deadline, std::string_view what,
                     std::string_view malformed) {
        const std::string bytes = receiveWithin(deadline, what);
        try {
            assembler.feed(bytes);
        } catch (const protocol::DecodeError& e) {
            close();
            fail(VisaError::Kind::Protocol, std::string(malformed) + ": " + e.what());
        }
    }

    bool isOpen() const { return socket_.valid(); }
    void close() { socket_.reset(); }
    const std::string& resource() const { return resource_; }

    [[noreturn]] void fail(VisaError::Kind kind, std::string_view what) const;

private:
    void requireOpen() const;
    std::string receiveWithin(const base::Deadline& deadline, std::string_view what);

    std::string resource_;
    base::FileDescriptor socket_;
};

} // namespace visa
