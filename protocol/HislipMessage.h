#pragma once

// HiSLIP messages: a 16-byte header ("HS", message type, control code, 32-bit message parameter,
// 64-bit payload length, all big-endian) followed by the payload.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace protocol {

inline constexpr std::uint16_t kHislipPort = 4880;
inline constexpr std::size_t kHislipHeaderSize = 16;
// Protocol version 1.0 in the upper byte pair of the Initialize parameters.
inline constexpr std::uint16_t kHislipVersion = 0x0100;
// The first message id a client uses; each message sent adds two.
inline constexpr std::uint32_t kHislipFirstMessageId = 0xFFFFFF00u;

enum class HislipType : std::uint8_t {
    Initialize = 0,
    InitializeResponse = 1,
    FatalError = 2,
    Error = 3,
    AsyncLock = 4,
    AsyncLockResponse = 5,
    Data = 6,
    DataEnd = 7,
    DeviceClearComplete = 8,
    DeviceClearAcknowledge = 9,
    AsyncRemoteLocalControl = 10,
    AsyncRemoteLocalResponse = 11,
    Trigger = 12,
    Interrupted = 13,
    AsyncInterrupted = 14,
    AsyncMaximumMessageSize = 15,
    AsyncMaximumMessageSizeResponse = 16,
    AsyncInitialize = 17,
    AsyncInitializeResponse = 18,
    AsyncDeviceClear = 19,
    AsyncServiceRequest = 20,
    AsyncStatusQuery = 21,
    AsyncStatusResponse = 22,
    AsyncDeviceClearAcknowledge = 23,
    AsyncLockInfo = 24,
    AsyncLockInfoResponse = 25,
};

// Control codes of FatalError and Error.
enum class HislipFatal : std::uint8_t {
    Unidentified = 0,
    PoorlyFormedHeader = 1,
    ChannelsNotEstablished = 2,
    InvalidInitialization = 3,
    TooManyClients = 4,
};
enum class HislipErrorCode : std::uint8_t {
    Unidentified = 0,
    UnrecognizedMessageType = 1,
    UnrecognizedControlCode = 2,
    UnrecognizedVendorMessage = 3,
    MessageTooLarge = 4,
};

// AsyncLock's control codes: a request carries the lock time-out in ms as its parameter and the lock
// string as payload, empty for an exclusive lock; a release carries the last message id sent.
inline constexpr std::uint8_t kHislipLockRelease = 0;
inline constexpr std::uint8_t kHislipLockRequest = 1;
// The control code of AsyncLockResponse: Failure when the lock was not granted within the lock
// time-out, Error for a release with no lock held and the like.
enum class HislipLockResult : std::uint8_t { Failure, SuccessExclusive, SuccessShared, Error };

struct HislipHeader {
    std::uint8_t type = 0; // a HislipType, kept raw so that unknown types can be answered
    std::uint8_t control = 0;
    std::uint32_t parameter = 0;
    std::uint64_t payloadLength = 0;
};

struct HislipMessage {
    HislipHeader header;
    std::string payload;
    HislipType type() const { return static_cast<HislipType>(header.type); }
};

std::string encodeHislip(HislipType type, std::uint8_t control, std::uint32_t parameter,
                         std::string_view payload = {});
// Throws DecodeError unless the 16 bytes start with "HS".
HislipHeader decodeHislipHeader(std::string_view bytes);

// The 8-byte payload of the maximum-message-size exchange.
std::string encodeHislipSize(std::uint64_t size);
std::uint64_t decodeHislipSize(std::string_view payload);

// Plain words for FatalError and Error control codes.
std::string describeHislipFatal(std::uint8_t code);
std::string describeHislipError(std::uint8_t code);

// Splits a byte stream into messages as bytes arrive. A header announcing a payload above
// maxPayload is refused before anything is stored.
class HislipAssembler {
public:
    explicit HislipAssembler(std::uint64_t maxPayload) : maxPayload_(maxPayload) {}

    // Throws DecodeError on a bad prologue or an oversized payload; the stream is then unusable.
    void feed(std::string_view bytes);
    std::optional<HislipMessage> next();
    // True while a message is partly received.
    bool midMessage() const { return !partial_.empty() || header_.has_value(); }

private:
    std::uint64_t maxPayload_;
    std::string partial_; // header bytes, then payload bytes of the message being received
    std::optional<HislipHeader> header_;
    std::deque<HislipMessage> ready_;
};

} // namespace protocol
