#include "tests/lan/HislipProbe.h"

#include "base/Deadline.h"

#include <stdexcept>

namespace lan::testing {

using namespace protocol;

std::optional<HislipMessage> nextHislipMessage(visa::LanStream& stream, HislipAssembler& assembler,
                                               std::chrono::milliseconds patience) {
    const base::Deadline deadline(patience);
    for (;;) {
        if (auto message = assembler.next()) {
            return message;
        }
        auto bytes = stream.receiveSome(deadline);
        if (!bytes) {
            return std::nullopt;
        }
        assembler.feed(*bytes);
    }
}

namespace {

visa::LanStream connectTo(std::uint16_t port) {
    return visa::LanStream::connect("probe", "127.0.0.1", port, base::Deadline(HislipProbe::kPatience));
}

HislipMessage expectMessage(visa::LanStream& stream, HislipAssembler& assembler, const char* what) {
    auto message = nextHislipMessage(stream, assembler, HislipProbe::kPatience);
    if (!message) {
        throw std::runtime_error(std::string("no ") + what + " from the server");
    }
    return *message;
}

} // namespace

HislipProbe::HislipProbe(std::uint16_t port, const std::string& subAddress) : sync_(connectTo(port)) {
    sync_.sendAll(encodeHislip(HislipType::Initialize, 0, std::uint32_t{kHislipVersion} << 16, subAddress),
                  base::Deadline(kPatience), "Initialize");
    const HislipMessage answer = expectMessage(sync_, syncMessages_, "InitializeResponse");
    if (answer.type() != HislipType::InitializeResponse) {
        throw std::runtime_error("Initialize answered with type " + std::to_string(answer.header.type) +
                                 ": " + answer.payload);
    }
    async_.emplace(connectTo(port));
    if (exchangeAsync(encodeHislip(HislipType::AsyncInitialize, 0, answer.header.parameter & 0xFFFFu))
            .type() != HislipType::AsyncInitializeResponse) {
        throw std::runtime_error("AsyncInitialize refused");
    }
}

HislipMessage HislipProbe::exchangeAsync(const std::string& bytes) {
    async_->sendAll(bytes, base::Deadline(kPatience), "asynchronous message");
    return expectMessage(*async_, asyncMessages_, "asynchronous answer");
}

std::uint8_t HislipProbe::requestLock(std::uint32_t timeoutMs, const std::string& lockString) {
    const HislipMessage answer = exchangeAsync(encodeHislip(HislipType::AsyncLock, 1, timeoutMs, lockString));
    if (answer.type() != HislipType::AsyncLockResponse) {
        throw std::runtime_error("AsyncLock answered with type " + std::to_string(answer.header.type));
    }
    return answer.header.control;
}

std::uint8_t HislipProbe::releaseLock() {
    const HislipMessage answer = exchangeAsync(encodeHislip(HislipType::AsyncLock, 0, messageId_ - 2));
    if (answer.type() != HislipType::AsyncLockResponse) {
        throw std::runtime_error("AsyncLock release answered with type " +
                                 std::to_string(answer.header.type));
    }
    return answer.header.control;
}

HislipMessage HislipProbe::lockInfo() {
    return exchangeAsync(encodeHislip(HislipType::AsyncLockInfo, 0, 0));
}

void HislipProbe::send(const std::string& message) {
    sync_.sendAll(encodeHislip(HislipType::DataEnd, 0, messageId_, message), base::Deadline(kPatience),
                  "DataEnd");
    messageId_ += 2;
}

std::optional<HislipMessage> HislipProbe::nextReply(std::chrono::milliseconds patience) {
    return nextHislipMessage(sync_, syncMessages_, patience);
}

std::string HislipProbe::query(const std::string& message) {
    send(message);
    const auto reply = nextReply();
    return reply ? reply->payload : "<none>";
}

} // namespace lan::testing
