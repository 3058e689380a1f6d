#pragma once

#include "base/FileDescriptor.h"
#include "visa/MessageSession.h"
#include "visa/ResourceName.h"
#include "visa/VisaError.h"

#include <chrono>
#include <memory>
#include <string>

namespace visa {

// A raw SCPI socket (TCPIP::host::port::SOCKET). The line feed is the only message boundary: a write gets one
// appended unless the message already ends with it, and a read returns up to and including the first line
// feed. Bytes that arrived after it stay buffered for the next read.
class SocketSession final : public MessageSession {
public:
    static std::unique_ptr<SocketSession> open(const ResourceName& name,
                                               std::chrono::milliseconds openTimeout);

    SocketSession(std::string resource, base::FileDescriptor socket);
    ~SocketSession() override;

    void write(std::string_view message) override;
    std::string read() override;
    void flushRead() override;
    void close() override;

private:
    void requireOpen() const;
    // Reads what the socket has into the buffer; false when the deadline passed without data.
    bool receiveMore(const base::Deadline& deadline);
    void appendReceived(const char* data, std::size_t size);
    [[noreturn]] void fail(VisaError::Kind kind, const std::string& what) const;

    std::string resource_;
    base::FileDescriptor socket_;
    std::string buffer_;
    // After an oversized reply the rest of it is still coming: drop everything up to its line feed so
    // that its tail is never taken for the next reply.
    bool discardingToLineFeed_ = false;
};

} // namespace visa
