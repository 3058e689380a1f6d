#pragma once

#include "protocol/RpcMessage.h"
#include "sim/TcpService.h"

#include <cstddef>
#include <functional>
#include <optional>

namespace sim {

// Serves ONC RPC calls on one connection until the peer leaves or the service stops. The dispatcher
// answers each call; nullopt hangs up (a fault the tests ask for). Calls that do not decode are
// answered as garbage when their xid can be read, and end the connection otherwise.
using RpcDispatcher = std::function<std::optional<protocol::RpcReply>(const protocol::RpcCall&)>;
void serveRpcConnection(ServiceConnection& connection, std::size_t maxRecord, const RpcDispatcher& dispatch);

// Reply helpers for dispatchers.
protocol::RpcReply rpcSuccess(std::uint32_t xid, std::string results);
protocol::RpcReply rpcFailure(std::uint32_t xid, protocol::RpcReplyStatus status, std::uint32_t low = 0,
                              std::uint32_t high = 0);

} // namespace sim
