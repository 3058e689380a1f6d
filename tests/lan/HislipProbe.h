#pragma once

#include "protocol/HislipMessage.h"
#include "visa/LanStream.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace lan::testing {

// One HiSLIP session spoken to message by message (both channels opened as the protocol asks), so that a
// test can send lock requests and data as it likes and watch what comes back and when.
class HislipProbe {
public:
    static constexpr std::chrono::milliseconds kPatience{5000};

    explicit HislipProbe(std::uint16_t port, const std::string& subAddress = "hislip0");

    // AsyncLock: a request for the exclusive lock (empty lock string) or a shared one, and a release.
    // The AsyncLockResponse's control code.
    std::uint8_t requestLock(std::uint32_t timeoutMs, const std::string& lockString = {});
    std::uint8_t releaseLock();
    protocol::HislipMessage lockInfo();

    // A program message as one DataEnd.
    void send(const std::string& message);
    // The next message on the synchronous channel, or nullopt when none comes within `patience`.
    std::optional<protocol::HislipMessage> nextReply(std::chrono::milliseconds patience = kPatience);
    // send() and the payload of the reply; "<none>" when there is none.
    std::string query(const std::string& message);

private:
    protocol::HislipMessage exchangeAsync(const std::string& bytes);

    visa::LanStream sync_;
    std::optional<visa::LanStream> async_;
    protocol::HislipAssembler syncMessages_{1 << 21};
    protocol::HislipAssembler asyncMessages_{1 << 21};
    std::uint32_t messageId_ = protocol::kHislipFirstMessageId;
};

// The next whole message on `stream`, or nullopt when none is complete within `patience`.
std::optional<protocol::HislipMessage> nextHislipMessage(visa::LanStream& stream,
                                                         protocol::HislipAssembler& assembler,
                                                         std::chrono::milliseconds patience);

} // namespace lan::testing
