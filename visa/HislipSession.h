#pragma once

#include "protocol/HislipMessage.h"
#include "visa/BackendSession.h"
#include "visa/LanStream.h"
#include "visa/ResourceName.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace visa {

// A HiSLIP instrument (TCPIP::host::hislipN[,port]::INSTR): a synchronous channel for the messages
// and an asynchronous one for control, opened in that order and tied together by the session id.
// Writes are Data/DataEnd messages with message ids; a read takes the Data/DataEnd answering the
// latest message and drops whatever belongs to an older one. The exclusive lock is asked for and
// released with AsyncLock on the asynchronous channel.
class HislipSession final : public BackendSession {
public:
    static std::unique_ptr<HislipSession> open(const ResourceName& name,
                                               std::chrono::milliseconds openTimeout);

    void write(std::string_view message) override;
    std::string read() override;
    void close() override;
    bool canLock() const override { return true; }
    void lockExclusive(std::chrono::milliseconds lockTimeout) override;
    void unlock() override;

    std::uint16_t sessionId() const { return sessionId_; }
    std::uint64_t serverMaxMessageSize() const { return serverMaxMessageSize_; }

private:
    // One end of the connection: its stream and the framing state of the bytes that came in.
    struct Channel {
        explicit Channel(LanStream s);
        LanStream stream;
        protocol::HislipAssembler assembler;
        // The next message; throws Timeout "<what> within N ms" when the deadline passes first.
        protocol::HislipMessage receive(const base::Deadline& deadline, std::string_view what);
        // One step of the handshake: the request sent, its answer taken ("HiSLIP <step> not sent", "no answer
        // to HiSLIP <step>" when the deadline passes first).
        protocol::HislipMessage exchange(std::string_view request, const base::Deadline& deadline,
                                         std::string_view step);
        static Channel connect(const ResourceName& name, const base::Deadline& deadline);
    };

    HislipSession(std::string resource, Channel sync, Channel async, std::uint16_t sessionId,
                  std::uint64_t serverMaxMessageSize);
    bool isOpen() const override { return sync_.has_value(); }
    // Throws for Error and FatalError (closing the session on the latter); other messages pass.
    void failOnError(const protocol::HislipMessage& message);
    // One AsyncLock exchange on the asynchronous channel: the result its AsyncLockResponse carries.
    protocol::HislipLockResult askLock(std::uint8_t control, std::uint32_t parameter,
                                       const base::Deadline& deadline, const std::string& step);
    // After a reply that did not come: whether another client holds the exclusive lock (AsyncLockInfo),
    // which is then what the caller is told. False when the server does not say.
    bool lockedByAnother();

    std::optional<Channel> sync_;
    std::optional<Channel> async_;
    std::uint16_t sessionId_;
    std::uint64_t serverMaxMessageSize_;
    std::uint32_t nextMessageId_ = protocol::kHislipFirstMessageId;
    std::uint32_t lastSentMessageId_ = protocol::kHislipFirstMessageId - 2;
    // Set once a whole reply was read: the next message tells the server so (RMT-delivered).
    bool responseDelivered_ = false;
    bool holdsLock_ = false;
};

} // namespace visa
