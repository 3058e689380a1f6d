#include "sim/PortmapServer.h"

#include "base/NetworkInterfaces.h"
#include "protocol/DecodeError.h"
#include "protocol/Vxi11Messages.h"
#include "sim/PortmapDatagrams.h"
#include "sim/RpcConnection.h"

#include <arpa/inet.h>

namespace sim {

using namespace protocol;

namespace {
constexpr std::size_t kMaxPortmapRecord = 1024;
}

PortmapServer::PortmapServer(const std::string& address, std::uint16_t port, TcpService::Log log,
                             ConnectionLimits limits)
    : address_(address), log_(log),
      service_(
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

bool PortmapServer::serveUdp() {
    std::vector<base::UdpSocket> sockets = bindPortmapDatagrams(address_, port());
    if (sockets.empty()) {
        return false;
    }
    // The any-address hears broadcasts on its one socket; a served address needs sockets of its own for
    // them, which a loopback address does not get.
    const auto served = base::parseIpv4(address_);
    hearsBroadcasts_ = sockets.size() > 1 || (served && served->s_addr == htonl(INADDR_ANY));
    const auto answerDatagram = [this](const std::vector<base::UdpSocket>& sockets, std::size_t socketIndex,
                                       const base::UdpSocket::Datagram& datagram) {
        const RpcCall call = decodeCall(datagram.bytes);
        if (call.program != kPortmapProgram || call.version != kPortmapVersion) {
            return; // a broadcast is answered only by those who can help, so no refusals over UDP
        }
        const std::optional<RpcReply> reply = answer(call);
        const bool broadcast = socketIndex > 0;
        if (!reply ||
            (broadcast && (reply->status != RpcReplyStatus::Success ||
                           (call.procedure == kPortmapProcGetPort && decodePort(reply->results) == 0)))) {
            return;
        }
        sockets.front().sendTo(encodeReply(*reply), datagram.source);
    };
    datagrams_ = std::make_unique<DatagramService>("portmapper (UDP)", std::move(sockets), kMaxPortmapRecord,
                                                   answerDatagram, log_);
    return true;
}

void PortmapServer::stop() {
    if (datagrams_) {
        datagrams_->stop();
    }
    service_.stop();
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
