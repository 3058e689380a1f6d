#include "sim/RpcConnection.h"

#include "protocol/DecodeError.h"
#include "protocol/RecordMarking.h"

namespace sim {

namespace {

using protocol::RpcReplyStatus;

// The RPC version a call asks for, read without decoding the rest, so that a call of another RPC
// version gets its own answer instead of "garbage".
std::optional<std::uint32_t> rpcVersionOfCall(std::string_view record) {
    const auto word = [&](std::size_t index) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            value = (value << 8) | static_cast<unsigned char>(record[index * 4 + i]);
        }
        return value;
    };
    constexpr std::uint32_t kCall = 0;
    if (record.size() < 12 || word(1) != kCall) {
        return std::nullopt;
    }
    return word(2);
}

std::optional<protocol::RpcReply> answer(std::string_view record, RpcProgram offered,
                                         const RpcDispatcher& dispatch) {
    std::uint32_t xid = 0;
    if (!protocol::peekXid(record, xid)) {
        return std::nullopt;
    }
    if (const auto version = rpcVersionOfCall(record); version && *version != protocol::kRpcVersion) {
        return rpcFailure(xid, RpcReplyStatus::RpcVersionMismatch, protocol::kRpcVersion,
                          protocol::kRpcVersion);
    }
    try {
        const protocol::RpcCall call = protocol::decodeCall(record);
        if (call.program != offered.program) {
            return rpcFailure(call.xid, RpcReplyStatus::ProgramUnavailable);
        }
        if (call.version != offered.version) {
            return rpcFailure(call.xid, RpcReplyStatus::ProgramMismatch, offered.version, offered.version);
        }
        return dispatch(call);
    } catch (const protocol::DecodeError&) {
        return rpcFailure(xid, RpcReplyStatus::GarbageArguments);
    }
}

} // namespace

protocol::RpcReply rpcSuccess(std::uint32_t xid, std::string results) {
    protocol::RpcReply reply;
    reply.xid = xid;
    reply.results = std::move(results);
    return reply;
}

protocol::RpcReply rpcFailure(std::uint32_t xid, RpcReplyStatus status, std::uint32_t low,
                              std::uint32_t high) {
    protocol::RpcReply reply;
    reply.xid = xid;
    reply.status = status;
    reply.low = low;
    reply.high = high;
    return reply;
}

std::optional<std::string> answerFirstCall(std::string_view received, std::size_t maxRecord,
                                           RpcProgram offered, const RpcDispatcher& dispatch) {
    protocol::RecordAssembler assembler(maxRecord);
    try {
        assembler.feed(received);
    } catch (const protocol::DecodeError&) {
        return std::string{};
    }
    const auto record = assembler.nextRecord();
    if (!record) {
        return std::nullopt;
    }
    const std::optional<protocol::RpcReply> reply = answer(*record, offered, dispatch);
    return reply ? protocol::encodeRecord(protocol::encodeReply(*reply)) : std::string{};
}

void serveRpcConnection(ServiceConnection& connection, std::size_t maxRecord, RpcProgram offered,
                        const RpcDispatcher& dispatch, const std::function<bool()>& midMessage) {
    protocol::RecordAssembler assembler(maxRecord);
    while (auto bytes = connection.receiveSome(assembler.midRecord() || (midMessage && midMessage()))) {
        try {
            assembler.feed(*bytes);
        } catch (const protocol::DecodeError&) {
            return; // oversized record: the stream cannot be resynchronised
        }
        while (auto record = assembler.nextRecord()) {
            const std::optional<protocol::RpcReply> reply = answer(*record, offered, dispatch);
            if (!reply || !connection.sendAll(protocol::encodeRecord(protocol::encodeReply(*reply)))) {
                return;
            }
        }
    }
}

} // namespace sim
