// Our VXI-11 client against the simulator's VXI-11 server and against scripted peers.

#include "visa/Vxi11Session.h"

#include "protocol/Vxi11Messages.h"
#include "sim/Mainframe.h"
#include "tests/lan/Vxi11Peers.h"
#include "tests/support/VisaFailure.h"
#include "visa/ResourceName.h"
#include "visa/VisaError.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <utility>
#include <vector>

using namespace protocol;
using namespace std::chrono_literals;
using lan_test::Answer;
using lan_test::kOpen;
using lan_test::linkAndWrite;
using lan_test::ScriptedRpcServer;
using lan_test::ScriptedVxi11;
using lan_test::SimulatedVxi11;
using visa::VisaError;

namespace {

template <typename F> std::chrono::milliseconds elapsed(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

// How long `operation` took to fail, having failed as a time-out no sooner than `timeout`.
template <typename F>
std::chrono::milliseconds timeOutTaken(std::chrono::milliseconds timeout, F&& operation) {
    VisaError::Kind kind = VisaError::Kind::Other;
    const auto took = elapsed([&] {
        try {
            operation();
        } catch (const VisaError& e) {
            kind = e.kind();
        }
    });
    EXPECT_EQ(kind, VisaError::Kind::Timeout);
    EXPECT_GE(took, timeout - 50ms);
    return took;
}

TEST(LanVxi11, QueriesAndCommandsRoundTrip) {
    SimulatedVxi11 sim;
    auto session = sim.open();
    EXPECT_EQ(sim.query(*session, "*IDN?"), "Korvane,MF-7,SIM0001,1.0\n");
    session->write("DIG:PIN4:FUNC ONC");
    EXPECT_EQ(sim.query(*session, "SYST:ERR?"), "+0,\"No error\"\n");
    EXPECT_EQ(sim.query(*session, "DIG:PIN4:FUNC?"), "ONC\n");
    session->write("DIG:PIN1:FUNC ONC");
    EXPECT_EQ(sim.query(*session, "SYST:ERR?"), "-221,\"Settings conflict\"\n");
    EXPECT_EQ(sim.server.linkedDevices(), std::vector<std::string>{"inst0"});
}

TEST(LanVxi11, WritesAreSplitAtTheLinksMaxRecvSizeWithEndOnTheLastChunk) {
    SimulatedVxi11 sim({{"inst0"}, 8});
    auto session = sim.open();
    EXPECT_EQ(session->maxRecvSize(), 8u);
    session->write("DIG:PIN2:POL NEG;:DIG:OUTP:DATA 5");
    const auto chunks = sim.server.writeChunks();
    ASSERT_EQ(chunks.size(), 5u);
    std::string joined;
    for (const auto& chunk : chunks) {
        EXPECT_LE(chunk.size(), 8u);
        joined += chunk;
    }
    EXPECT_EQ(joined, "DIG:PIN2:POL NEG;:DIG:OUTP:DATA 5");
    // The mainframe saw one message: END came with the last chunk only.
    EXPECT_EQ(sim.mainframe.traffic().received(), std::vector<std::string>{joined});
    EXPECT_EQ(sim.mainframe.state().pinPolarity[2], "NEG");
    EXPECT_EQ(sim.mainframe.state().outputWord, 5);
}

TEST(LanVxi11, DeviceNamesPassThroughUnchanged) {
    SimulatedVxi11 sim({{"inst0", "gpib0,5"}, 1024});
    auto session = sim.open("gpib0,5");
    EXPECT_EQ(sim.query(*session, "*IDN?"), "Korvane,MF-7,SIM0001,1.0\n");
    EXPECT_EQ(sim.server.linkedDevices(), std::vector<std::string>{"gpib0,5"});
}

TEST(LanVxi11, UnknownDeviceNameFailsTheOpenInPlainWords) {
    SimulatedVxi11 sim;
    try {
        sim.open("inst7");
        FAIL() << "the open succeeded";
    } catch (const VisaError& e) {
        EXPECT_EQ(e.kind(), VisaError::Kind::NotFound);
        const std::string what = e.what();
        EXPECT_EQ(what.rfind("TCPIP0::127.0.0.1::inst7::INSTR: ", 0), 0u) << what;
        EXPECT_NE(what.find("device not accessible"), std::string::npos) << what;
    }
}

TEST(LanVxi11, SilentInstrumentTimesOutAndTheSessionRecovers) {
    SimulatedVxi11 sim;
    auto session = sim.open("", 300ms);
    sim.mainframe.faults().inject(sim::Fault::StopAnswering);
    const auto silentRead = [&](std::chrono::milliseconds timeout) {
        session->setTimeout(timeout);
        session->write("*IDN?");
        return timeOutTaken(timeout, [&] { session->read(); });
    };
    // Three times the time-out in the same run is the baseline: a read that did not end at its own
    // time-out would take as long with either.
    const auto shorter = silentRead(300ms);
    EXPECT_LT(2 * shorter, silentRead(900ms));

    sim.mainframe.faults().clear();
    session->setTimeout(2000ms);
    EXPECT_EQ(sim.query(*session, "DIG:PIN3:FUNC?"), "DIO\n");
}

TEST(LanVxi11, ReplyLaterThanTheTimeOutIsATimeOut) {
    SimulatedVxi11 sim;
    auto session = sim.open("", 200ms);
    sim.mainframe.faults().inject(sim::Fault::DelayReply, 1, 1000ms);
    session->write("*IDN?");
    EXPECT_THROW(session->read(), VisaError);
}

TEST(LanVxi11, SplitRecordsAndFragmentsAreJoined) {
    ScriptedVxi11 peer([](const RpcCall& call) {
        if (call.procedure != kDeviceRead) {
            return linkAndWrite(call);
        }
        protocol::RpcReply reply;
        reply.xid = call.xid;
        reply.results = DeviceReadResp{0, kReasonEnd, "Korvane,MF-7,SIM0001,1.0\n"}.encode();
        // Three record fragments, sent as 5-byte TCP pieces with pauses between them.
        const std::string bytes = encodeRecord(encodeReply(reply), 20);
        Answer answer;
        for (std::size_t i = 0; i < bytes.size(); i += 5) {
            answer.chunks.push_back(bytes.substr(i, 5));
        }
        answer.pause = 2ms;
        return answer;
    });
    auto session = peer.open();
    session->write("*IDN?");
    EXPECT_EQ(session->read(), "Korvane,MF-7,SIM0001,1.0\n");
}

TEST(LanVxi11, ReadLoopsUntilEndAndSkipsStaleReplies) {
    int reads = 0;
    ScriptedVxi11 peer([&reads](const RpcCall& call) {
        if (call.procedure != kDeviceRead) {
            return linkAndWrite(call);
        }
        ++reads;
        // A late reply to some earlier call comes first; then the reply is given in two pieces.
        protocol::RpcReply stale;
        stale.xid = call.xid - 1;
        stale.results = DeviceReadResp{0, kReasonEnd, "stale\n"}.encode();
        const std::string piece = reads == 1 ? "+0,\"No" : " error\"\n";
        const std::int32_t reason = reads == 1 ? kReasonRequestCount : kReasonEnd;
        Answer answer = lan_test::success(call.xid, DeviceReadResp{0, reason, piece}.encode());
        answer.chunks.insert(answer.chunks.begin(), encodeRecord(encodeReply(stale)));
        return answer;
    });
    auto session = peer.open();
    session->write("SYST:ERR?");
    EXPECT_EQ(session->read(), "+0,\"No error\"\n");
    EXPECT_EQ(reads, 2);
}

TEST(LanVxi11, InstrumentClosingMidReplyIsALostConnection) {
    ScriptedVxi11 peer([](const RpcCall& call) {
        if (call.procedure != kDeviceRead) {
            return linkAndWrite(call);
        }
        Answer answer = lan_test::success(call.xid, DeviceReadResp{0, kReasonEnd, "Korvane,MF-7\n"}.encode());
        answer.chunks[0].resize(answer.chunks[0].size() / 2);
        answer.hangUp = true;
        return answer;
    });
    auto session = peer.open();
    session->write("*IDN?");
    try {
        session->read();
        FAIL() << "the read succeeded";
    } catch (const VisaError& e) {
        EXPECT_EQ(e.kind(), VisaError::Kind::ConnectionLost) << e.what();
    }
}

TEST(LanVxi11, DeviceErrorsAreReportedInPlainWords) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {kVxi11DeviceLocked, "the instrument is locked by another client; gave up after"},
        {kVxi11IoError, "I/O error"},
        {kVxi11InvalidLink, "invalid link identifier"},
    };
    for (const auto& [code, words] : cases) {
        ScriptedVxi11 peer([code = code](const RpcCall& call) {
            if (call.procedure == kDeviceWrite) {
                return lan_test::success(call.xid, DeviceWriteResp{code, 0}.encode());
            }
            return linkAndWrite(call);
        });
        auto session = peer.open();
        try {
            session->write("*RST");
            FAIL() << "the write succeeded";
        } catch (const VisaError& e) {
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind("TCPIP0::127.0.0.1::INSTR: ", 0), 0u) << e.what();
        }
    }
}

TEST(LanVxi11, RpcRefusalsAreReportedInPlainWords) {
    ScriptedVxi11 peer([](const RpcCall& call) {
        protocol::RpcReply reply;
        reply.xid = call.xid;
        reply.status = RpcReplyStatus::ProcedureUnavailable;
        return Answer{{encodeRecord(encodeReply(reply))}};
    });
    try {
        peer.open();
        FAIL() << "the open succeeded";
    } catch (const VisaError& e) {
        EXPECT_EQ(e.kind(), VisaError::Kind::Protocol);
        EXPECT_NE(std::string(e.what()).find("does not offer the requested RPC procedure"), std::string::npos)
            << e.what();
    }
}

TEST(LanVxi11, AnOversizedMessageFailsTheWriteAndQueuesTooMuchData) {
    SimulatedVxi11 sim;
    auto session = sim.open();
    EXPECT_THROW(session->write("*IDN?" + std::string(70 * 1024, ' ')), VisaError);
    EXPECT_EQ(sim.query(*session, "SYST:ERR?"), "-223,\"Too much data\"\n");
}

TEST(LanVxi11, CloseDestroysTheLink) {
    ScriptedVxi11 peer(linkAndWrite);
    auto session = peer.open();
    session->close();
    EXPECT_EQ(peer.core.procedures(), (std::vector<std::uint32_t>{kCreateLink, kDestroyLink}));
    EXPECT_THROW(session->write("*IDN?"), VisaError);
}

TEST(LanVxi11, OpenFailsClearlyWithoutAPortmapperOrCoreChannel) {
    sim::PortmapServer empty("127.0.0.1", 0);
    try {
        visa::Vxi11Session::open(visa::ResourceName::parse("TCPIP0::127.0.0.1::INSTR"), kOpen,
                                 {empty.port()});
        FAIL() << "the open succeeded";
    } catch (const VisaError& e) {
        EXPECT_EQ(e.kind(), VisaError::Kind::NotFound);
        EXPECT_NE(std::string(e.what()).find("no VXI-11"), std::string::npos) << e.what();
    }
    const std::uint16_t unused = [] {
        sim::PortmapServer gone("127.0.0.1", 0);
        return gone.port();
    }();
    try {
        visa::Vxi11Session::open(visa::ResourceName::parse("TCPIP0::127.0.0.1::INSTR"), kOpen, {unused});
        FAIL() << "the open succeeded";
    } catch (const VisaError& e) {
        EXPECT_EQ(e.kind(), VisaError::Kind::Refused);
        EXPECT_NE(std::string(e.what()).find("portmapper"), std::string::npos) << e.what();
    }
}

TEST(LanVxi11, OpenIsBoundedWhenThePortmapperNeverAnswers) {
    sim::TcpService silent("127.0.0.1", 0, "silent", [](sim::ServiceConnection& c) {
        while (c.receiveSome()) {
        }
    });
    const auto boundedOpen = [&](std::chrono::milliseconds timeout) {
        return timeOutTaken(timeout, [&] {
            visa::Vxi11Session::open(visa::ResourceName::parse("TCPIP0::127.0.0.1::INSTR"), timeout,
                                     {silent.port()});
        });
    };
    // Against the same open with three times the time-out, in the same run.
    const auto shorter = boundedOpen(300ms);
    EXPECT_LT(2 * shorter, boundedOpen(900ms));
}

} // namespace

namespace {

TEST(LanVxi11, CommandAndErrorCheckGoOutBeforeTheFirstAnswerIsAwaited) {
    // This instrument answers nothing until it holds all three calls: a client that waited for each
    // answer before sending its next call would time out here.
    std::vector<Answer> held;
    ScriptedVxi11 peer([&held](const RpcCall& call) {
        if (call.procedure == kCreateLink || call.procedure == kDestroyLink) {
            return linkAndWrite(call);
        }
        held.push_back(
            call.procedure == kDeviceRead
                ? lan_test::success(call.xid, DeviceReadResp{0, kReasonEnd, "+0,\"No error\"\n"}.encode())
                : linkAndWrite(call));
        if (call.procedure != kDeviceRead) {
            return Answer{};
        }
        Answer all;
        for (const auto& answer : held) {
            all.chunks.insert(all.chunks.end(), answer.chunks.begin(), answer.chunks.end());
        }
        held.clear();
        return all;
    });
    auto session = peer.open(500ms);
    EXPECT_EQ(session->writeAndRead({"DIG:PIN1:POL NEG", "SYST:ERR?"}), "+0,\"No error\"\n");
    EXPECT_EQ(peer.core.procedures(),
              (std::vector<std::uint32_t>{kCreateLink, kDeviceWrite, kDeviceWrite, kDeviceRead}));
}

TEST(LanVxi11, OverlappedWriteThatFailsIsReportedAsTheWriteAndLeavesTheLinkClean) {
    bool first = true;
    bool failedWrite = false;
    ScriptedVxi11 peer([&](const RpcCall& call) {
        if (call.procedure == kDeviceWrite && std::exchange(first, false)) {
            failedWrite = true;
            return lan_test::success(call.xid, DeviceWriteResp{kVxi11IoError, 0}.encode());
        }
        if (call.procedure == kDeviceRead && std::exchange(failedWrite, false)) {
            // Nothing to read after the failed write: the instrument answers when its time-out ends.
            std::this_thread::sleep_for(350ms);
            return lan_test::success(call.xid, DeviceReadResp{kVxi11IoTimeout, 0, ""}.encode());
        }
        if (call.procedure == kDeviceRead) {
            return lan_test::success(call.xid, DeviceReadResp{0, kReasonEnd, "+0,\"No error\"\n"}.encode());
        }
        return linkAndWrite(call);
    });
    auto session = peer.open(300ms);
    std::string what;
    EXPECT_EQ(FailureKind(
                  [&] {
                      session->writeAndRead({"*RST", "SYST:ERR?"});
                  },
                  &what),
              VisaError::Kind::Other);
    EXPECT_NE(what.find("write failed"), std::string::npos) << what;
    EXPECT_NE(what.find("I/O error"), std::string::npos) << what;
    // The read that was already on its way has been answered, so the next exchange gets its own replies
    // within its own time-out.
    EXPECT_EQ(session->writeAndRead({"SYST:ERR?"}), "+0,\"No error\"\n");
}

} // namespace
