#pragma once

#include "protocol/RecordMarking.h"
#include "visa/LanStream.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace visa {

// ONC RPC calls over one TCP stream. Replies are matched by xid: a reply to another call still awaited
// is kept for that call, and a late reply to a call that has given up is dropped instead of being taken
// for the answer to this one.
class RpcClient {
public:
    RpcClient(LanStream stream, std::uint32_t program, std::uint32_t version, std::string serviceName);

    // The procedure's XDR results. Throws Timeout as "<what> within N ms" when no matching reply
    // arrives before the deadline; RPC-level refusals and malformed replies throw with plain words.
    std::string call(std::uint32_t procedure, std::string_view arguments, const base::Deadline& deadline,
                     std::string_view what);

    // The two halves of call(), for callers that send several calls before awaiting the first answer
    // (RPC over TCP allows calls in flight; replies are matched by the xid send() returns).
    std::uint32_t send(std::uint32_t procedure, std::string_view arguments, const base::Deadline& deadline);
    std::string awaitReply(std::uint32_t xid, const base::Deadline& deadline, std::string_view what);

    LanStream& stream() { return stream_; }

private:
    LanStream stream_;
    std::uint32_t program_;
    std::uint32_t version_;
    std::string serviceName_; // "portmapper", "VXI-11 core channel": said in failures
    std::uint32_t nextXid_;
    protocol::RecordAssembler assembler_;
    // The calls sent and not yet answered to their caller, with the reply record when it came early.
    std::map<std::uint32_t, std::optional<std::string>> awaited_;
};

} // namespace visa
