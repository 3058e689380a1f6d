#pragma once

#include "visa/BackendSession.h"
#include "visa/LanStream.h"
#include "visa/ResourceName.h"

#include <chrono>
#include <memory>
#include <string>

namespace visa {

// A raw SCPI socket (TCPIP::host::port::SOCKET). The line feed is the only message boundary: a write gets one
// appended unless the message already ends with it, and a read returns up to and including the first line
// feed. Bytes that arrived after it stay buffered for the next read.
class SocketSession final : public BackendSession {
public:
    static std::unique_ptr<SocketSession> open(const ResourceName& name,
                                               std::chrono::milliseconds openTimeout);

    void write(std::string_view message) override;
    std::string read() override;
    // The messages leave in one send, as the byte stream they would make one by one: a command and its
    // error query cost the instrument one wake-up, not two.
    std::string writeAndRead(std::initializer_list<std::string_view> messages) override;
    void flushRead() override;
    void close() override;

private:
    explicit SocketSession(LanStream stream);
    bool isOpen() const override { return stream_.isOpen(); }
    void appendReceived(std::string_view incoming);

    LanStream stream_;
    std::string buffer_;
    // After an oversized reply the rest of it is still coming: drop everything up to its line feed so
    // that its tail is never taken for the next reply.
    bool discardingToLineFeed_ = false;
};

} // namespace visa
