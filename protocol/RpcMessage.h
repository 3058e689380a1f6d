#pragma once

// ONC RPC version 2 call and reply messages (RFC 5531), with AUTH_NONE credentials only. The
// procedure arguments and results stay XDR bytes that the program-specific codecs read.

#include <cstdint>
#include <string>
#include <string_view>

namespace protocol {

inline constexpr std::uint32_t kRpcVersion = 2;
// Authentication bodies are at most 400 bytes by the RPC rules.
inline constexpr std::size_t kMaxAuthBody = 400;

struct RpcCall {
    std::uint32_t xid = 0;
    std::uint32_t program = 0;
    std::uint32_t version = 0;
    std::uint32_t procedure = 0;
    std::string arguments; // XDR-encoded
};

enum class RpcReplyStatus {
    Success,
    ProgramUnavailable,
    ProgramMismatch,
    ProcedureUnavailable,
    GarbageArguments,
    SystemError,
    RpcVersionMismatch, // denied
    AuthError,          // denied
};

struct RpcReply {
    std::uint32_t xid = 0;
    RpcReplyStatus status = RpcReplyStatus::Success;
    std::uint32_t low = 0; // supported versions, for the mismatch replies
    std::uint32_t high = 0;
    std::uint32_t authStatus = 0;
    std::string results; // XDR-encoded, for Success
};

std::string encodeCall(const RpcCall& call);
std::string encodeReply(const RpcReply& reply);

// Both throw DecodeError for anything that is not a well-formed message of the expected direction.
RpcCall decodeCall(std::string_view record);
RpcReply decodeReply(std::string_view record);

// The message's xid, if the record is long enough to hold one.
bool peekXid(std::string_view record, std::uint32_t& xid);

// Plain words for a failed reply, e.g. "the procedure is not offered by the server".
std::string describe(const RpcReply& reply);

} // namespace protocol
