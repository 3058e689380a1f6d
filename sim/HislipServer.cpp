#include "sim/HislipServer.h"

#include "protocol/DecodeError.h"
#include "protocol/HislipMessage.h"

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

// Reads whole messages off a connection; nullopt when it ends. A broken header is answered with
// FatalError before the connection is dropped, as the protocol asks.
class MessageReader {
public:
    explicit MessageReader(ServiceConnection& connection)
        : connection_(connection), assembler_(HislipServer::kMaxMessageSize) {}

    std::optional<HislipMessage> next() {
        for (;;) {
            if (auto message = assembler_.next()) {
                return message;
            }
            auto bytes = connection_.receiveSome();
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

} // namespace

HislipServer::HislipServer(Mainframe& mainframe, const std::string& address, std::uint16_t port,
                           TcpService::Log log)
    : mainframe_(mainframe),
      service_(
          address, port, "HiSLIP", [this](ServiceConnection& c) { serve(c); }, std::move(log)) {}

std::uint16_t HislipServer::openSession() {
    std::lock_guard lock(mutex_);
    while (sessions_.count(nextSessionId_) != 0 || nextSessionId_ == 0) {
        ++nextSessionId_;
    }
    sessions_.insert(nextSessionId_);
    return nextSessionId_++;
}

bool HislipServer::sessionExists(std::uint16_t id) const {
    std::lock_guard lock(mutex_);
    return sessions_.count(id) != 0;
}

void HislipServer::closeSession(std::uint16_t id) {
    std::lock_guard lock(mutex_);
    sessions_.erase(id);
}

void HislipServer::serve(ServiceConnection& connection) {
    MessageReader reader(connection);
    auto first = reader.next();
    if (!first) {
        return;
    }
    if (first->type() == HislipType::Initialize) {
        const std::string subAddress = first->payload.empty() ? "hislip0" : first->payload;
        if (subAddress != "hislip0") {
            connection.sendAll(
                fatal(HislipFatal::InvalidInitialization,
                      "unknown sub-address " + subAddress.substr(0, 64) + "; this server has hislip0"));
            return;
        }
        const std::uint16_t id = openSession();
        // Synchronized mode (control code 0): one reply per query, in order.
        if (!connection.sendAll(encodeHislip(HislipType::InitializeResponse, 0,
                                             (std::uint32_t{kHislipVersion} << 16) | id))) {
            closeSession(id);
            return;
        }
        std::string input;
        bool discarding = false;
        while (auto message = reader.next()) {
            switch (message->type()) {
            case HislipType::Data:
            case HislipType::DataEnd: {
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
                    connection.sendAll(
                        error(HislipErrorCode::MessageTooLarge, "program message over 64 KiB"));
                    break;
                }
                mainframe_.receive(input);
                input.clear();
                if (mainframe_.hangUpRequested()) {
                    closeSession(id);
                    return;
                }
                if (auto reply = mainframe_.takeReply()) {
                    if (!connection.sleepFor(reply->delay) ||
                        !connection.sendAll(
                            encodeHislip(HislipType::DataEnd, 0, message->header.parameter, reply->bytes))) {
                        closeSession(id);
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
        closeSession(id);
        return;
    }

    if (first->type() == HislipType::AsyncInitialize) {
        const auto id = static_cast<std::uint16_t>(first->header.parameter & 0xFFFFu);
        if (!sessionExists(id)) {
            connection.sendAll(fatal(HislipFatal::InvalidInitialization, "no such session"));
            return;
        }
        if (!connection.sendAll(encodeHislip(HislipType::AsyncInitializeResponse, 0, kVendorId))) {
            return;
        }
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
                answer = encodeHislip(HislipType::AsyncLockResponse, 1, 0); // granted: one client at a time
                break;
            case HislipType::AsyncLockInfo:
                answer = encodeHislip(HislipType::AsyncLockInfoResponse, 0, 0);
                break;
            case HislipType::AsyncRemoteLocalControl:
                answer = encodeHislip(HislipType::AsyncRemoteLocalResponse, 0, 0);
                break;
            case HislipType::AsyncStatusQuery:
                answer = encodeHislip(HislipType::AsyncStatusResponse, 0, 0);
                break;
            case HislipType::AsyncDeviceClear:
                mainframe_.takeReply();
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
        return;
    }

    connection.sendAll(fatal(HislipFatal::InvalidInitialization, "expected Initialize or AsyncInitialize"));
}

} // namespace sim
