#pragma once

#include "protocol/RpcMessage.h"
#include "sim/ServiceConnection.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// The one RPC program and version a server offers.
struct RpcProgram {
    std::uint32_t program = 0;
    std::uint32_t version = 0;
};

// Serves ONC RPC calls on one connection until the peer leaves, the service stops or a limit drops
// it. Calls for another program, another version of it or another RPC version are answered with the
// matching RPC failure; the dispatcher answers the rest, and nullopt hangs up (a fault the tests ask
// for). Calls that do not decode are answered as garbage when their xid can be read, and end the
// connection otherwise. midMessage tells whether the server holds part of a message beyond the RPC
// records (a VXI-11 write without END), so that the stall limit applies between records too.
using RpcDispatcher = std::function<std::optional<protocol::RpcReply>(const protocol::RpcCall&)>;
void serveRpcConnection(ServiceConnection& connection, std::size_t maxRecord, RpcProgram offered,
                        const RpcDispatcher& dispatch, const std::function<bool()>& midMessage = {});

// For a client refused past the connection limit (RefusedClients): the answer to the first call in
// `received`, as record-marked bytes; nullopt while that call is incomplete, empty when it gets none.
std::optional<std::string> answerFirstCall(std::string_view received, std::size_t maxRecord,
                                           RpcProgram offered, const RpcDispatcher& dispatch);

// Reply helpers for dispatchers.
protocol::RpcReply rpcSuccess(std::uint32_t xid, std::string results);
protocol::RpcReply rpcFailure(std::uint32_t xid, protocol::RpcReplyStatus status, std::uint32_t low = 0,
                              std::uint32_t high = 0);

} // namespace sim
