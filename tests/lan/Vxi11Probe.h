#pragma once

#include "protocol/Vxi11Messages.h"
#include "visa/RpcClient.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace lan::testing {

// One VXI-11 core channel spoken to call by call, so that a test can send what our client never does: a
// lock request with flags of its own, a write from a link that does not hold the lock, a call while
// another is still waiting. Every call waits at most kPatience for its answer.
class Vxi11Probe {
public:
    static constexpr std::chrono::milliseconds kPatience{5000};

    explicit Vxi11Probe(std::uint16_t port);

    protocol::CreateLinkResp createLink(const std::string& device = "inst0", bool lockDevice = false,
                                        std::uint32_t lockTimeout = 0);
    std::int32_t lock(std::int32_t link, std::uint32_t flags, std::uint32_t lockTimeout);
    std::int32_t unlock(std::int32_t link);
    std::int32_t destroyLink(std::int32_t link);
    std::int32_t clear(std::int32_t link, std::uint32_t flags, std::uint32_t lockTimeout);
    // A whole message (END set), with the lock flags given.
    std::int32_t write(std::int32_t link, const std::string& message, std::uint32_t flags = 0,
                       std::uint32_t lockTimeout = 0);
    protocol::DeviceReadResp read(std::int32_t link, std::uint32_t flags = 0, std::uint32_t lockTimeout = 0);

    // A call sent without waiting for its answer, and its answer (the procedure's results).
    std::uint32_t send(std::uint32_t procedure, const std::string& arguments);
    std::string awaitReply(std::uint32_t xid, std::chrono::milliseconds patience = kPatience);

private:
    std::string call(std::uint32_t procedure, const std::string& arguments);

    visa::RpcClient rpc_;
};

} // namespace lan::testing
