#include "visa/HislipSession.h"

#include "base/PrintableText.h"
#include "protocol/DecodeError.h"

#include <algorithm>

namespace visa {

namespace {

using namespace protocol;
using std::chrono::milliseconds;

// What we accept in one message from the server: a whole reply and some room.
constexpr std::uint64_t kClientMaxMessage = kMaxReplyBytes + 64 * 1024;
// Our vendor id, two letters in the low half of the Initialize parameter.
constexpr std::uint32_t kVendorId = ('P' << 8) | 'W';
// Payloads of error messages are peer text: show a bounded, printable excerpt only.
constexpr std::size_t kMaxShownText = 200;

std::string subAddressOf(const ResourceName& name) {
    return name.lanDevice.substr(0, name.lanDevice.find(','));
}

std::string peerSays(const HislipMessage& message) {
    return message.payload.empty()
               ? ""
               : " (\"" + base::printableText(message.payload, kMaxShownText, base::Unprintable::Question) +
                     "\")";
}

} // namespace

HislipSession::Channel::Channel(LanStream s) : stream(std::move(s)), assembler(kClientMaxMessage) {}

HislipMessage HislipSession::Channel::receive(const base::Deadline& deadline, std::string_view what) {
    for (;;) {
        if (auto message = assembler.next()) {
            return std::move(*message);
        }
        stream.receiveInto(assembler, deadline, what, "malformed HiSLIP message");
    }
}

HislipSession::Channel HislipSession::Channel::connect(const ResourceName& name,
                                                       const base::Deadline& deadline) {
    return Channel(LanStream::connect(name.text, name.host, name.port, deadline));
}

HislipMessage HislipSession::Channel::exchange(std::string_view request, const base::Deadline& deadline,
                                               std::string_view step) {
    stream.sendAll(request, deadline, "HiSLIP " + std::string(step) + " not sent");
    return receive(deadline, "no answer to HiSLIP " + std::string(step));
}

std::unique_ptr<HislipSession> HislipSession::open(const ResourceName& name, milliseconds openTimeout) {
    const base::Deadline deadline(openTimeout);
    const std::string subAddress = subAddressOf(name);

    Channel sync = Channel::connect(name, deadline);
    const std::string initialize = encodeHislip(
        HislipType::Initialize, 0, (std::uint32_t{kHislipVersion} << 16) | kVendorId, subAddress);
    HislipMessage answer = [&] {
        try {
            return sync.exchange(initialize, deadline, "Initialize");
        } catch (const VisaError& e) {
            if (e.kind() != VisaError::Kind::ConnectionLost) {
                throw;
            }
            throw VisaError(e.kind(),
                            std::string(e.what()) + " (is \"" + subAddress + "\" the right sub-address?)");
        }
    }();
    if (answer.type() == HislipType::FatalError) {
        const auto kind = answer.header.control == static_cast<std::uint8_t>(HislipFatal::TooManyClients)
                              ? VisaError::Kind::Refused
                              : VisaError::Kind::NotFound;
        throw VisaError(kind, name.text + ": the instrument refused HiSLIP session \"" + subAddress +
                                  "\": " + describeHislipFatal(answer.header.control) + peerSays(answer));
    }
    if (answer.type() != HislipType::InitializeResponse) {
        throw VisaError(VisaError::Kind::Protocol, name.text + ": unexpected HiSLIP message " +
                                                       std::to_string(answer.header.type) +
                                                       " in answer to Initialize");
    }
    const auto sessionId = static_cast<std::uint16_t>(answer.header.parameter & 0xFFFFu);

    Channel async = Channel::connect(name, deadline);
    answer =
        async.exchange(encodeHislip(HislipType::AsyncInitialize, 0, sessionId), deadline, "AsyncInitialize");
    if (answer.type() != HislipType::AsyncInitializeResponse) {
        throw VisaError(VisaError::Kind::Protocol, name.text +
                                                       ": the instrument did not accept the asynchronous "
                                                       "channel of HiSLIP session " +
                                                       std::to_string(sessionId) + peerSays(answer));
    }

    answer = async.exchange(
        encodeHislip(HislipType::AsyncMaximumMessageSize, 0, 0, encodeHislipSize(kClientMaxMessage)),
        deadline, "AsyncMaximumMessageSize");
    std::uint64_t serverMax = 0;
    try {
        if (answer.type() != HislipType::AsyncMaximumMessageSizeResponse) {
            throw DecodeError("unexpected message " + std::to_string(answer.header.type));
        }
        serverMax = decodeHislipSize(answer.payload);
    } catch (const DecodeError& e) {
        throw VisaError(VisaError::Kind::Protocol,
                        name.text + ": bad answer to the HiSLIP maximum message size: " + e.what());
    }
    return std::unique_ptr<HislipSession>(
        new HislipSession(name.text, std::move(sync), std::move(async), sessionId, serverMax));
}

HislipSession::HislipSession(std::string resource, Channel sync, Channel async, std::uint16_t sessionId,
                             std::uint64_t serverMaxMessageSize)
    : BackendSession(std::move(resource)), sync_(std::move(sync)), async_(std::move(async)),
      sessionId_(sessionId), serverMaxMessageSize_(serverMaxMessageSize) {}

void HislipSession::write(std::string_view message) {
    requireOpen();
    const base::Deadline deadline(timeout());
    // A server announcing 0 (or an absurd size) still gets the message, in pieces it can take.
    const std::size_t chunk =
        static_cast<std::size_t>(std::clamp<std::uint64_t>(serverMaxMessageSize_, 1, 1u << 20));
    const std::uint32_t id = nextMessageId_;
    std::string out;
    do {
        const std::size_t length = std::min(message.size(), chunk);
        const bool last = length == message.size();
        const std::uint8_t rmtDelivered = responseDelivered_ ? 1 : 0;
        responseDelivered_ = false;
        out += encodeHislip(last ? HislipType::DataEnd : HislipType::Data, rmtDelivered, id,
                            message.substr(0, length));
        message.remove_prefix(length);
        if (last) {
            break;
        }
    } while (true);
    sync_->stream.sendAll(out, deadline, "message not sent");
    lastSentMessageId_ = id;
    nextMessageId_ = id + 2;
}

std::string HislipSession::read() {
    requireOpen();
    const base::Deadline deadline(timeout());
    std::string reply;
    for (;;) {
        std::optional<HislipMessage> received;
        try {
            received = sync_->receive(deadline, "no reply");
        } catch (const VisaError& e) {
            // The server holds back a message of a client without the lock until the lock is free.
            if (e.kind() == VisaError::Kind::Timeout && lockedByAnother()) {
                failLockTimeout(timeout());
            }
            throw;
        }
        HislipMessage& message = *received;
        switch (message.type()) {
        case HislipType::Data:
        case HislipType::DataEnd:
            if (message.header.parameter != lastSentMessageId_) {
                continue; // the rest of a reply to an older message, e.g. one whose read timed out
            }
            if (reply.size() + message.payload.size() > kMaxReplyBytes) {
                failReplyTooLong();
            }
            reply += message.payload;
            if (message.type() == HislipType::DataEnd) {
                responseDelivered_ = true;
                return reply;
            }
            continue;
        default:
            failOnError(message);
            continue; // Interrupted and the like carry nothing a read needs
        }
    }
}

void HislipSession::failOnError(const HislipMessage& message) {
    if (message.type() == HislipType::Error) {
        fail(VisaError::Kind::Protocol, "the instrument reported a HiSLIP error: " +
                                            describeHislipError(message.header.control) + peerSays(message));
    }
    if (message.type() == HislipType::FatalError) {
        close();
        fail(VisaError::Kind::ConnectionLost,
             "the instrument ended the HiSLIP session: " + describeHislipFatal(message.header.control) +
                 peerSays(message));
    }
}

HislipLockResult HislipSession::askLock(std::uint8_t control, std::uint32_t parameter,
                                        const base::Deadline& deadline, const std::string& step) {
    try {
        async_->stream.sendAll(encodeHislip(HislipType::AsyncLock, control, parameter), deadline,
                               "HiSLIP " + step + " not sent");
        for (;;) {
            const HislipMessage answer = async_->receive(deadline, "no answer to HiSLIP " + step);
            if (answer.type() == HislipType::AsyncLockResponse) {
                return static_cast<HislipLockResult>(answer.header.control);
            }
            failOnError(answer);
            // A service request and the like may come first: the answer follows.
        }
    } catch (const VisaError& e) {
        // An answer that comes after all could grant a lock the caller was told it did not get, and would
        // stand in front of the next one. Ending the session releases whatever the server granted.
        if (e.kind() == VisaError::Kind::Timeout) {
            close();
        }
        throw;
    }
}

bool HislipSession::lockedByAnother() {
    if (holdsLock_ || !async_) {
        return false;
    }
    // A short question: the caller has waited its time-out already.
    const base::Deadline deadline(std::min(timeout(), milliseconds(500)));
    try {
        async_->stream.sendAll(encodeHislip(HislipType::AsyncLockInfo, 0, 0), deadline,
                               "AsyncLockInfo not sent");
        for (;;) {
            const HislipMessage answer = async_->receive(deadline, "no answer to AsyncLockInfo");
            if (answer.type() == HislipType::AsyncLockInfoResponse) {
                return answer.header.control == 1; // the exclusive lock is granted, and not to us
            }
            failOnError(answer);
        }
    } catch (const VisaError&) {
        return false; // the time-out the caller met is what it hears about
    }
}

void HislipSession::lockExclusive(milliseconds lockTimeout) {
    requireOpen();
    // The server answers when the lock is free or at the end of the lock time-out; the answer then takes
    // as long as any other.
    const base::Deadline deadline(lockTimeout + timeout());
    switch (askLock(kHislipLockRequest, wireMilliseconds(lockTimeout), deadline, "lock request")) {
    case HislipLockResult::SuccessExclusive:
        holdsLock_ = true;
        return;
    case HislipLockResult::Failure:
        failLockTimeout(lockTimeout);
    default:
        fail(VisaError::Kind::Refused, "the instrument refused the exclusive lock");
    }
}

void HislipSession::unlock() {
    requireOpen();
    // The message id tells the server which messages were sent under the lock.
    const auto result =
        askLock(kHislipLockRelease, lastSentMessageId_, base::Deadline(timeout()), "lock release");
    holdsLock_ = false;
    if (result != HislipLockResult::SuccessExclusive && result != HislipLockResult::SuccessShared) {
        fail(VisaError::Kind::Other, "unlock failed: no lock held by this session");
    }
}

// Whole replies are taken by read(); data left from an older message is dropped by its id.
void HislipSession::close() {
    async_.reset();
    sync_.reset();
}

} // namespace visa
