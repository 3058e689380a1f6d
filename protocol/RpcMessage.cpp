#include "protocol/RpcMessage.h"

#include "protocol/ByteOrder.h"
#include "protocol/DecodeError.h"
#include "protocol/Xdr.h"

#include <string_view>

namespace protocol {

namespace {

// The protocol's enumerations (RFC 5531), as they travel: unsigned words.
enum MsgType : std::uint32_t { kCall = 0, kReply = 1 };
enum ReplyStat : std::uint32_t { kAccepted = 0, kDenied = 1 };
enum AuthFlavor : std::uint32_t { kAuthNone = 0 };
enum AcceptStat : std::uint32_t {
    kSuccess,
    kProgUnavail,
    kProgMismatch,
    kProcUnavail,
    kGarbageArgs,
    kSystemErr
};
enum RejectStat : std::uint32_t { kRpcMismatch = 0, kAuthError = 1 };

// A word the protocol fixes (message direction, RPC version); any other value is refused.
struct Fixed {
    std::uint32_t value;
    const char* refusal;
    void writeTo(XdrWriter& out) const { out.putUint32(value); }
    void readFrom(XdrReader& in) const {
        if (in.getUint32() != value) {
            throw DecodeError(refusal);
        }
    }
};

// Credentials and verifiers: we send AUTH_NONE and neither check nor need the peer's.
struct NoAuth {
    void writeTo(XdrWriter& out) const {
        out.putUint32(kAuthNone);
        out.putOpaque({});
    }
    void readFrom(XdrReader& in) const {
        std::uint32_t flavor = 0;
        std::string body;
        in(flavor, bounded(body, kMaxAuthBody));
    }
};

constexpr auto callFields = [](auto& call, auto&& visit) {
    visit(call.xid, Fixed{kCall, "RPC message is not a call"},
          Fixed{kRpcVersion, "RPC call of an unsupported RPC version"}, call.program, call.version,
          call.procedure, NoAuth{}, NoAuth{}, rest(call.arguments));
};

// What follows a reply's status words.
enum class ReplyBody { Nothing, VersionRange, AuthStatus, Results };

// How each reply status travels: accepted or denied, the accept or reject status, and its body.
// In words, '#' stands for the body (the version range, the authentication error).
struct ReplyShape {
    RpcReplyStatus status;
    ReplyStat replyStat;
    std::uint32_t detail;
    ReplyBody body;
    std::string_view words;
};
using enum RpcReplyStatus;
using enum ReplyBody;
constexpr ReplyShape kReplyShapes[] = {
    {SystemError, kAccepted, kSystemErr, Nothing, "the server reported an internal error"},
    {Success, kAccepted, kSuccess, Results, "success"},
    {ProgramUnavailable, kAccepted, kProgUnavail, Nothing,
     "the server does not offer the requested RPC program"},
    {ProgramMismatch, kAccepted, kProgMismatch, VersionRange,
     "the server offers only versions # of the RPC program"},
    {ProcedureUnavailable, kAccepted, kProcUnavail, Nothing,
     "the server does not offer the requested RPC procedure"},
    {GarbageArguments, kAccepted, kGarbageArgs, Nothing, "the server could not decode the request"},
    {RpcVersionMismatch, kDenied, kRpcMismatch, VersionRange, "the server speaks only RPC versions #"},
    {AuthError, kDenied, kAuthError, AuthStatus,
     "the server refused the request's credentials (authentication error #)"},
};

// A status outside the enumeration travels as the first entry, an internal error.
const ReplyShape& shapeOf(RpcReplyStatus status) {
    for (const ReplyShape& shape : kReplyShapes) {
        if (shape.status == status) {
            return shape;
        }
    }
    return kReplyShapes[0];
}

// reply_stat, the verifier of an accepted reply, and the accept or reject status.
template <typename Status> struct StatusWords {
    Status& status;
    void writeTo(XdrWriter& out) const {
        const ReplyShape& shape = shapeOf(status);
        out.putUint32(shape.replyStat);
        if (shape.replyStat == kAccepted) {
            out(NoAuth{});
        }
        out.putUint32(shape.detail);
    }
    void readFrom(XdrReader& in) const {
        const std::uint32_t replyStat = in.getUint32();
        if (replyStat != kAccepted && replyStat != kDenied) {
            throw DecodeError("RPC reply with an unknown reply status");
        }
        if (replyStat == kAccepted) {
            in(NoAuth{});
        }
        const std::uint32_t detail = in.getUint32();
        for (const ReplyShape& shape : kReplyShapes) {
            if (shape.replyStat == replyStat && shape.detail == detail) {
                status = shape.status;
                return;
            }
        }
        throw DecodeError(replyStat == kAccepted ? "RPC reply with an unknown accept status"
                                                 : "RPC reply with an unknown rejection status");
    }
};

template <typename Status> StatusWords<Status> statusWords(Status& status) {
    return {status};
}

constexpr auto replyFields = [](auto& reply, auto&& visit) {
    visit(reply.xid, Fixed{kReply, "RPC message is not a reply"}, statusWords(reply.status));
    switch (shapeOf(reply.status).body) {
    case VersionRange:
        visit(reply.low, reply.high);
        break;
    case AuthStatus:
        visit(reply.authStatus);
        break;
    case Results:
        visit(rest(reply.results));
        break;
    case Nothing:
        break;
    }
};

template <typename Message, typename Fields> std::string encodeWith(const Message& message, Fields fields) {
    XdrWriter out;
    fields(message, out);
    return out.take();
}

// RPC messages are not checked for trailing bytes: the procedure's own decoder checks its part.
template <typename Message, typename Fields> Message decodeWith(std::string_view record, Fields fields) {
    XdrReader in(record);
    Message message;
    fields(message, in);
    return message;
}

} // namespace

std::string encodeCall(const RpcCall& call) {
    return encodeWith(call, callFields);
}

std::string encodeReply(const RpcReply& reply) {
    return encodeWith(reply, replyFields);
}

RpcCall decodeCall(std::string_view record) {
    return decodeWith<RpcCall>(record, callFields);
}

RpcReply decodeReply(std::string_view record) {
    return decodeWith<RpcReply>(record, replyFields);
}

bool peekXid(std::string_view record, std::uint32_t& xid) {
    if (record.size() < 4) {
        return false;
    }
    xid = readBigEndian32(record);
    return true;
}

std::string describe(const RpcReply& reply) {
    const ReplyShape& shape = shapeOf(reply.status);
    std::string words(shape.words);
    const std::size_t body = words.find('#');
    if (body != std::string::npos) {
        words.replace(body, 1,
                      shape.body == AuthStatus
                          ? std::to_string(reply.authStatus)
                          : std::to_string(reply.low) + " to " + std::to_string(reply.high));
    }
    return words;
}

} // namespace protocol
