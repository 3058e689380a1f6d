#include "protocol/RpcMessage.h"

#include "protocol/ByteOrder.h"
#include "protocol/DecodeError.h"
#include "protocol/Xdr.h"

namespace protocol {

namespace {

constexpr std::uint32_t kCall = 0;
constexpr std::uint32_t kReply = 1;
constexpr std::uint32_t kAccepted = 0;
constexpr std::uint32_t kDenied = 1;
constexpr std::uint32_t kAuthNone = 0;

enum AcceptStat : std::uint32_t {
    kSuccess = 0,
    kProgUnavail = 1,
    kProgMismatch = 2,
    kProcUnavail = 3,
    kGarbageArgs = 4,
    kSystemErr = 5
};
enum RejectStat : std::uint32_t { kRpcMismatch = 0, kAuthError = 1 };

void putNullAuth(XdrWriter& out) {
    out.putUint32(kAuthNone);
    out.putOpaque({});
}

void skipAuth(XdrReader& in) {
    in.getUint32(); // flavor: we neither check nor need credentials
    in.getOpaque(kMaxAuthBody);
}

} // namespace

std::string encodeCall(const RpcCall& call) {
    XdrWriter out;
    out.putUint32(call.xid);
    out.putUint32(kCall);
    out.putUint32(kRpcVersion);
    out.putUint32(call.program);
    out.putUint32(call.version);
    out.putUint32(call.procedure);
    putNullAuth(out);
    putNullAuth(out);
    out.putRaw(call.arguments);
    return out.take();
}

std::string encodeReply(const RpcReply& reply) {
    XdrWriter out;
    out.putUint32(reply.xid);
    out.putUint32(kReply);
    switch (reply.status) {
    case RpcReplyStatus::RpcVersionMismatch:
        out.putUint32(kDenied);
        out.putUint32(kRpcMismatch);
        out.putUint32(reply.low);
        out.putUint32(reply.high);
        return out.take();
    case RpcReplyStatus::AuthError:
        out.putUint32(kDenied);
        out.putUint32(kAuthError);
        out.putUint32(reply.authStatus);
        return out.take();
    default:
        break;
    }
    out.putUint32(kAccepted);
    putNullAuth(out);
    switch (reply.status) {
    case RpcReplyStatus::Success:
        out.putUint32(kSuccess);
        out.putRaw(reply.results);
        break;
    case RpcReplyStatus::ProgramUnavailable:
        out.putUint32(kProgUnavail);
        break;
    case RpcReplyStatus::ProgramMismatch:
        out.putUint32(kProgMismatch);
        out.putUint32(reply.low);
        out.putUint32(reply.high);
        break;
    case RpcReplyStatus::ProcedureUnavailable:
        out.putUint32(kProcUnavail);
        break;
    case RpcReplyStatus::GarbageArguments:
        out.putUint32(kGarbageArgs);
        break;
    default:
        out.putUint32(kSystemErr);
        break;
    }
    return out.take();
}

RpcCall decodeCall(std::string_view record) {
    XdrReader in(record);
    RpcCall call;
    call.xid = in.getUint32();
    if (in.getUint32() != kCall) {
        throw DecodeError("RPC message is not a call");
    }
    if (in.getUint32() != kRpcVersion) {
        throw DecodeError("RPC call of an unsupported RPC version");
    }
    call.program = in.getUint32();
    call.version = in.getUint32();
    call.procedure = in.getUint32();
    skipAuth(in);
    skipAuth(in);
    call.arguments = std::string(in.rest());
    return call;
}

RpcReply decodeReply(std::string_view record) {
    XdrReader in(record);
    RpcReply reply;
    reply.xid = in.getUint32();
    if (in.getUint32() != kReply) {
        throw DecodeError("RPC message is not a reply");
    }
    const std::uint32_t replyStat = in.getUint32();
    if (replyStat == kDenied) {
        const std::uint32_t reject = in.getUint32();
        if (reject == kRpcMismatch) {
            reply.status = RpcReplyStatus::RpcVersionMismatch;
            reply.low = in.getUint32();
            reply.high = in.getUint32();
        } else if (reject == kAuthError) {
            reply.status = RpcReplyStatus::AuthError;
            reply.authStatus = in.getUint32();
        } else {
            throw DecodeError("RPC reply with an unknown rejection status");
        }
        return reply;
    }
    if (replyStat != kAccepted) {
        throw DecodeError("RPC reply with an unknown reply status");
    }
    skipAuth(in);
    switch (in.getUint32()) {
    case kSuccess:
        reply.status = RpcReplyStatus::Success;
        reply.results = std::string(in.rest());
        break;
    case kProgUnavail:
        reply.status = RpcReplyStatus::ProgramUnavailable;
        break;
    case kProgMismatch:
        reply.status = RpcReplyStatus::ProgramMismatch;
        reply.low = in.getUint32();
        reply.high = in.getUint32();
        break;
    case kProcUnavail:
        reply.status = RpcReplyStatus::ProcedureUnavailable;
        break;
    case kGarbageArgs:
        reply.status = RpcReplyStatus::GarbageArguments;
        break;
    case kSystemErr:
        reply.status = RpcReplyStatus::SystemError;
        break;
    default:
        throw DecodeError("RPC reply with an unknown accept status");
    }
    return reply;
}

bool peekXid(std::string_view record, std::uint32_t& xid) {
    if (record.size() < 4) {
        return false;
    }
    xid = readBigEndian32(record);
    return true;
}

std::string describe(const RpcReply& reply) {
    const auto range = [&] {
        return std::to_string(reply.low) + " to " + std::to_string(reply.high);
    };
    switch (reply.status) {
    case RpcReplyStatus::Success:
        return "success";
    case RpcReplyStatus::ProgramUnavailable:
        return "the server does not offer the requested RPC program";
    case RpcReplyStatus::ProgramMismatch:
        return "the server offers only versions " + range() + " of the RPC program";
    case RpcReplyStatus::ProcedureUnavailable:
        return "the server does not offer the requested RPC procedure";
    case RpcReplyStatus::GarbageArguments:
        return "the server could not decode the request";
    case RpcReplyStatus::SystemError:
        return "the server reported an internal error";
    case RpcReplyStatus::RpcVersionMismatch:
        return "the server speaks only RPC versions " + range();
    case RpcReplyStatus::AuthError:
        return "the server refused the request's credentials (authentication error " +
               std::to_string(reply.authStatus) + ")";
    }
    return "unknown RPC failure";
}

} // namespace protocol
