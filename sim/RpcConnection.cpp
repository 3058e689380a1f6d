#include "sim/RpcConnection.h"

#include "protocol/DecodeError.h"
#include "protocol/RecordMarking.h"

namespace sim {

protocol::RpcReply rpcSuccess(std::uint32_t xid, std::string results) {
    protocol::RpcReply reply;
    reply.xid = xid;
    reply.results = std::move(results);
    return reply;
}

protocol::RpcReply rpcFailure(std::uint32_t xid, protocol::RpcReplyStatus status, std::uint32_t low,
                              std::uint32_t high) {
    protocol::RpcReply reply;
    reply.xid = xid;
    reply.status = status;
    reply.low = low;
    reply.high = high;
    return reply;
}

void serveRpcConnection(ServiceConnection& connection, std::size_t maxRecord, const RpcDispatcher& dispatch) {
    protocol::RecordAssembler assembler(maxRecord);
    while (auto bytes = connection.receiveSome()) {
        try {
            assembler.feed(*bytes);
        } catch (const protocol::DecodeError&) {
            return; // oversized record: the stream cannot be resynchronised
        }
        while (auto record = assembler.nextRecord()) {
            std::optional<protocol::RpcReply> reply;
            try {
                reply = dispatch(protocol::decodeCall(*record));
            } catch (const protocol::DecodeError&) {
                std::uint32_t xid = 0;
                if (!protocol::peekXid(*record, xid)) {
                    return;
                }
                reply = rpcFailure(xid, protocol::RpcReplyStatus::GarbageArguments);
            }
            if (!reply || !connection.sendAll(protocol::encodeRecord(protocol::encodeReply(*reply)))) {
                return;
            }
        }
    }
}

} // namespace sim
