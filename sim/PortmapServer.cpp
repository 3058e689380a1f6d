#include "sim/PortmapServer.h"

#include "protocol/DecodeError.h"
#include "protocol/Vxi11Messages.h"
#include "sim/RpcConnection.h"

namespace sim {

using namespace protocol;

namespace {
constexpr std::size_t kMaxPortmapRecord = 1024;
}

PortmapServer::PortmapServer(const std::string& address, std::uint16_t port, TcpService::Log log,
                             ConnectionLimits limits)
    : service_(
          address, port, "portmapper",
          [this](ServiceConnection& connection) {
              serveRpcConnection(connection, kMaxPortmapRecord, {kPortmapProgram, kPortmapVersion},
                                 [this](const RpcCall& call) { return answer(call); });
          },
          std::move(log), limits,
          // Look-ups cost nothing to answer: a client past the limit still gets the answer to its first
          // call, without a thread of its own, instead of a closed connection.
          RefusedClients::Refusal{{}, [this](std::string_view received) {
                                      return answerFirstCall(
                                          received, kMaxPortmapRecord, {kPortmapProgram, kPortmapVersion},
                                          [this](const RpcCall& call) { return answer(call); });
                                  }}) {}

std::optional<RpcReply> PortmapServer::answer(const RpcCall& call) const {
    switch (call.procedure) {
    case kPortmapProcNull:
        return rpcSuccess(call.xid, {});
    case kPortmapProcGetPort: {
        const PortmapMapping m = PortmapMapping::decode(call.arguments);
        return rpcSuccess(call.xid, encodePort(lookUp(m.program, m.version, m.protocol)));
    }
    default:
        return rpcFailure(call.xid, RpcReplyStatus::ProcedureUnavailable);
    }
}

void PortmapServer::registerProgram(std::uint32_t program, std::uint32_t version, std::uint32_t protocol,
                                    std::uint16_t port) {
    std::lock_guard lock(mutex_);
    ports_[{program, version, protocol}] = port;
}

std::uint16_t PortmapServer::lookUp(std::uint32_t program, std::uint32_t version,
                                    std::uint32_t protocol) const {
    std::lock_guard lock(mutex_);
    const auto it = ports_.find({program, version, protocol});
    return it == ports_.end() ? 0 : it->second;
}

} // namespace sim
