#include "sim/HislipServer.h"

#include "protocol/DecodeError.h"
#include "protocol/HislipMessage.h"
#include "sim/ClientSession.h"

#include <cctype>
#include <charconv>
#include <optional>

namespace sim {

using namespace protocol;

namespace {

constexpr std::uint32_t kVendorId = ('P' << 8) | 'W';
// The longest program message the mainframe takes, as on the raw socket.
constexpr std::size_t kMaxProgramMessage = 64 * 1024;

std::string fatal(HislipFatal code, std::string_view text) {
    return encodeHislip(HislipType::FatalError, static_cast<std::uint8_t>(code), 0, text);
}

std::string error(HislipErrorCode code, std::string_view text) {
    return encodeHislip(HislipType::Error, static_cast<std::uint8_t>(code), 0, text);
}

// AsyncLock's control codes and AsyncLockResponse's.
constexpr std::uint8_t kLockRelease = 0;
constexpr std::uint8_t kLockRequest = 1;
constexpr std::uint8_t kLockFailure = 0;
constexpr std::uint8_t kLockSuccess = 1;
constexpr std::uint8_t kLockError = 3;

// The number N of a sub-address "hislipN" (any case), or nullopt.
std::optional<std::size_t> subAddressNumber(std::string_view subAddress) {
    constexpr std::string_view kPrefix = "hislip";
    if (subAddress.size() <= kPrefix.size() || subAddress.size() > kPrefix.size() + 5) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kPrefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(subAddress[i])) != kPrefix[i]) {
            return std::nullopt;
        }
    }
    const std::string_view digits = subAddress.substr(kPrefix.size());
    std::size_t number = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec != std::errc{} || end != digits.data() + digits.size() ||
        (digits.size() > 1 && digits[0] == '0')) {
        return std::nullopt;
    }
    return number;
}

// stillWanted: the session is still there to hold the lock it waits for.
std::string lockAnswer(const HislipMessage& message, ClientSession& exchange,
                       const StillWanted& stillWanted) {
    const auto respond = [](std::uint8_t code) {
        return encodeHislip(HislipType::AsyncLockResponse, code, 0);
    };
    switch (message.header.control) {
    case kLockRelease:
        return respond(exchange.unlock() ? kLockSuccess : kLockError);
    case kLockRequest: {
        if (!message.payload.empty()) {
            return respond(kLockError); // shared locks: not offered
        }
        const LockOutcome outcome =
            exchange.lock(std::chrono::milliseconds{message.header.parameter}, stillWanted);
        return respond(outcome == LockOutcome::Granted       ? kLockSuccess
                       : outcome == LockOutcome::AlreadyHeld ? kLockError
                                                             : kLockFailure);
    }
    default:
        return error(HislipErrorCode::UnrecognizedControlCode, "AsyncLock control code is not 0 or 1");
    }
}

} // namespace

// Reads whole messages off a connection; nullopt when it ends. A broken header is answered with
// FatalError before the connection is dropped, as the protocol asks.
class HislipReader {
public:
    explicit HislipReader(ServiceConnection& connection)
        : connection_(connection), assembler_(HislipServer::kMaxMessageSize) {}

    // midMessage: a program message is begun (Data without DataEnd), so the stall limit applies.
    std::optional<HislipMessage> next(bool midMessage = false) {
        for (;;) {
            if (auto message = assembler_.next()) {
                return message;
            }
            auto bytes = connection_.receiveSome(midMessage || assembler_.midMessage());
            if (!bytes) {
                return std::nullopt;
            }
            try {
                assembler_.feed(*bytes);
            } catch (const DecodeError& e) {
                connection_.sendAll(fatal(HislipFatal::PoorlyFormedHeader, e.what()));
                return std::nullopt;
            }
        }
    }

private:
    ServiceConnection& connection_;
    HislipAssembler assembler_;
};

HislipServer::HislipServer(const std::vector<Mainframe*>& mainframes, const std::string& address,
                           std::uint16_t port, TcpService::Log log, ConnectionLimits limits)
    : mainframes_(mainframes),
      service_(
          address, port, "HiSLIP", [this](ServiceConnection& c) { serve(c); }, std::move(log), limits,
          RefusedClients::Refusal{fatal(HislipFatal::TooManyClients, "maximum clients exceeded"), nullptr}) {}

std::uint16_t HislipServer::openSession(std::shared_ptr<ClientSession> exchange) {
    std::lock_guard lock(mutex_);
    while (sessions_.count(nextSessionId_) != 0 || nextSessionId_ == 0) {
        ++nextSessionId_;
    }
    sessions_[nextSessionId_] = Session{std::move(exchange), false};
    return nextSessionId_++;
}

std::shared_ptr<ClientSession> HislipServer::attachAsync(std::uint16_t id, std::string& why) {
    std::lock_guard lock(mutex_);
    const auto it = sessions_.find(id);
    if (it == sessions_.end()) {
        why = "no such session";
        return nullptr;
    }
    if (it->second.asyncOpen) {
        why = "session " + std::to_string(id) + " already has its asynchronous channel";
        return nullptr;
    }
    it->second.asyncOpen = true;
    return it->second.exchange;
}

bool HislipServer::asyncOpen(std::uint16_t id) const {
    std::lock_guard lock(mutex_);
    const auto it = sessions_.find(id);
    return it != sessions_.end() && it->second.asyncOpen;
}

void HislipServer::closeSession(std::uint16_t id) {
    std::lock_guard lock(mutex_);
    sessions_.erase(id);
}

void HislipServer::serve(ServiceConnection& connection) {
    HislipReader reader(connection);
    auto first = reader.next();
    if (!first) {
        return;
    }
    if (first->type() == HislipType::Initialize) {
        serveInitialize(connection, reader, first->payload.empty() ? "hislip0" : first->payload);
        return;
    }
    if (first->type() == HislipType::AsyncInitialize) {
        const auto id = static_cast<std::uint16_t>(first->header.parameter & 0xFFFFu);
        std::string why;
        const auto exchange = attachAsync(id, why);
        if (!exchange) {
            connection.sendAll(fatal(HislipFatal::InvalidInitialization, why));
            return;
        }
        if (connection.sendAll(encodeHislip(HislipType::AsyncInitializeResponse, 0, kVendorId))) {
            serveAsynchronous(connection, reader, id, *exchange);
        }
        exchange->unlock(); // the session ends with either of its channels
        return;
    }
    connection.sendAll(fatal(HislipFatal::InvalidInitialization, "expected Initialize or AsyncInitialize"));
}

void HislipServer::serveInitialize(ServiceConnection& connection, HislipReader& reader,
                                   const std::string& subAddress) {
    const auto number = subAddressNumber(subAddress);
    if (!number || *number >= mainframes_.size()) {
        const std::string last = std::to_string(mainframes_.size() - 1);
        connection.sendAll(fatal(HislipFatal::InvalidInitialization,
                                 "unknown sub-address " + subAddress.substr(0, 64) +
                                     "; this server has hislip0" +
                                     (mainframes_.size() > 1 ? " to hislip" + last : "")));
        return;
    }
    const auto exchange = std::make_shared<ClientSession>(*mainframes_[*number]);
    const std::uint16_t id = openSession(exchange);
    // Synchronized mode (control code 0): one reply per query, in order.
    if (connection.sendAll(
            encodeHislip(HislipType::InitializeResponse, 0, (std::uint32_t{kHislipVersion} << 16) | id))) {
        serveSynchronous(connection, reader, id, *exchange);
    }
    exchange->unlock(); // the session ends with either of its channels
    closeSession(id);
}

void HislipServer::serveSynchronous(ServiceConnection& connection, HislipReader& reader, std::uint16_t id,
                                    ClientSession& exchange) {
    std::string input;
    bool discarding = false;
    while (auto message = reader.next(!input.empty() || discarding)) {
        switch (message->type()) {
        case HislipType::Data:
        case HislipType::DataEnd: {
            if (!asyncOpen(id)) {
                connection.sendAll(fatal(HislipFatal::ChannelsNotEstablished,
                                         "data before the asynchronous channel was opened"));
                return;
            }
            if (!discarding) {
                input += message->payload;
                if (input.size() > kMaxProgramMessage) {
                    input.clear();
                    discarding = true;
                }
            }
            if (message->type() == HislipType::Data) {
                break;
            }
            if (discarding) {
                discarding = false;
                exchange.queueError(errors::kTooMuchData);
                connection.sendAll(error(HislipErrorCode::MessageTooLarge, "program message over 64 KiB"));
                break;
            }
            // Another session's lock holds the message back until it is released.
            const bool taken = exchange.receiveWhenUnlocked(
                input, std::nullopt, [&connection] { return connection.peerStillThere(); });
            input.clear();
            if (!taken) {
                return;
            }
            if (exchange.hangUpRequested()) {
                return;
            }
            if (auto reply = exchange.takeReply()) {
                if (!connection.sleepFor(reply->delay) ||
                    !connection.sendAll(
                        encodeHislip(HislipType::DataEnd, 0, message->header.parameter, reply->bytes))) {
                    return;
                }
            }
            break;
        }
        case HislipType::Trigger:
            break;
        case HislipType::DeviceClearComplete:
            input.clear();
            discarding = false;
            connection.sendAll(encodeHislip(HislipType::DeviceClearAcknowledge, 0, 0));
            break;
        default:
            connection.sendAll(
                error(HislipErrorCode::UnrecognizedMessageType, "unexpected on the synchronous channel"));
            break;
        }
    }
}

void HislipServer::serveAsynchronous(ServiceConnection& connection, HislipReader& reader, std::uint16_t id,
                                     ClientSession& exchange) {
    while (auto message = reader.next()) {
        std::string answer;
        switch (message->type()) {
        case HislipType::AsyncMaximumMessageSize:
            answer = message->payload.size() == 8
                         ? encodeHislip(HislipType::AsyncMaximumMessageSizeResponse, 0, 0,
                                        encodeHislipSize(kMaxMessageSize))
                         : error(HislipErrorCode::Unidentified, "maximum message size is not 8 bytes");
            break;
        case HislipType::AsyncLock:
            // A session whose synchronous channel has closed has ended: it waits for no lock.
            answer = lockAnswer(*message, exchange, [this, &connection, id] {
                return connection.peerStillThere() && asyncOpen(id);
            });
            break;
        case HislipType::AsyncLockInfo: {
            const LockInfo info = exchange.mainframe().lockInfo();
            answer = encodeHislip(HislipType::AsyncLockInfoResponse, info.exclusive ? 1 : 0,
                                  static_cast<std::uint32_t>(info.holders));
            break;
        }
        case HislipType::AsyncRemoteLocalControl:
            answer = encodeHislip(HislipType::AsyncRemoteLocalResponse, 0, 0);
            break;
        case HislipType::AsyncStatusQuery:
            answer = encodeHislip(HislipType::AsyncStatusResponse, 0, 0);
            break;
        case HislipType::AsyncDeviceClear:
            exchange.discardReply();
            answer = encodeHislip(HislipType::AsyncDeviceClearAcknowledge, 0, 0);
            break;
        default:
            answer =
                error(HislipErrorCode::UnrecognizedMessageType, "unexpected on the asynchronous channel");
            break;
        }
        if (!connection.sendAll(answer)) {
            return;
        }
    }
}

} // namespace sim
