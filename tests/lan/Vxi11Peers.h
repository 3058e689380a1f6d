#pragma once

// VXI-11 peers for the client's tests: the simulator's server behind its portmapper, and a scripted
// core channel behind a real portmapper. Both stop by themselves.

#include "protocol/Vxi11Messages.h"
#include "sim/Mainframe.h"
#include "sim/PortmapServer.h"
#include "sim/Vxi11Server.h"
#include "tests/lan/ScriptedRpcServer.h"
#include "visa/ResourceName.h"
#include "visa/Vxi11Session.h"

#include <chrono>
#include <memory>
#include <string>
#include <utility>

namespace lan_test {

inline constexpr std::chrono::milliseconds kOpen{2000};

// A mainframe behind a VXI-11 server and its portmapper, all on free loopback ports.
struct SimulatedVxi11 {
    explicit SimulatedVxi11(sim::Vxi11Server::Options options = {})
        : server(mainframe, "127.0.0.1", 0, std::move(options)), portmapper("127.0.0.1", 0) {
        portmapper.registerProgram(protocol::kVxi11CoreProgram, protocol::kVxi11CoreVersion,
                                   protocol::kIpProtoTcp, server.port());
    }

    std::unique_ptr<visa::Vxi11Session>
    open(const std::string& device = "",
         std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) {
        const std::string text = "TCPIP0::127.0.0.1" + (device.empty() ? "" : "::" + device) + "::INSTR";
        auto session = visa::Vxi11Session::open(visa::ResourceName::parse(text), kOpen, {portmapper.port()});
        session->setTimeout(timeout);
        return session;
    }

    std::string query(visa::Vxi11Session& session, const std::string& message) {
        session.write(message);
        return session.read();
    }

    sim::Mainframe mainframe;
    sim::Vxi11Server server;
    sim::PortmapServer portmapper;
};

// A portmapper that sends clients to a scripted core channel.
struct ScriptedVxi11 {
    explicit ScriptedVxi11(ScriptedRpcServer::Script script)
        : core(std::move(script)), portmapper("127.0.0.1", 0) {
        portmapper.registerProgram(protocol::kVxi11CoreProgram, protocol::kVxi11CoreVersion,
                                   protocol::kIpProtoTcp, core.port());
    }
    std::unique_ptr<visa::Vxi11Session>
    open(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) {
        auto session = visa::Vxi11Session::open(visa::ResourceName::parse("TCPIP0::127.0.0.1::INSTR"), kOpen,
                                                {portmapper.port()});
        session->setTimeout(timeout);
        return session;
    }
    ScriptedRpcServer core;
    sim::PortmapServer portmapper;
};

// The create_link and device_write answers every scripted conversation starts with.
inline Answer linkAndWrite(const protocol::RpcCall& call) {
    if (call.procedure == protocol::kCreateLink) {
        return lan_test::success(call.xid, protocol::CreateLinkResp{0, 1, 0, 1024}.encode());
    }
    if (call.procedure == protocol::kDeviceWrite) {
        const auto parms = protocol::DeviceWriteParms::decode(call.arguments);
        return lan_test::success(
            call.xid, protocol::DeviceWriteResp{0, static_cast<std::uint32_t>(parms.data.size())}.encode());
    }
    return lan_test::success(call.xid, protocol::encodeDeviceError(0));
}

} // namespace lan_test
