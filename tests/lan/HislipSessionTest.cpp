// Our HiSLIP client against the simulator's HiSLIP server and against scripted peers, plus the
// server's answers to the protocol's message table, byte by byte.

#include "visa/HislipSession.h"

#include "protocol/HislipMessage.h"
#include "sim/HislipServer.h"
#include "sim/Mainframe.h"
#include "tests/lan/ScriptedHislipServer.h"
#include "tests/support/CaseTable.h"
#include "tests/support/VisaFailure.h"
#include "visa/LanStream.h"
#include "visa/ResourceName.h"
#include "visa/VisaError.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace protocol;
using namespace std::chrono_literals;
using lan_test::noAnswer;
using lan_test::ScriptedHislip;
using visa::VisaError;

namespace {

std::string resourceFor(std::uint16_t port, const std::string& subAddress = "hislip0") {
    return "TCPIP0::127.0.0.1::" + subAddress + "," + std::to_string(port) + "::INSTR";
}

// An open time-out that only a fault waits for.
constexpr auto kLongOpen = 20000ms;

std::unique_ptr<visa::HislipSession> openAt(std::uint16_t port, std::chrono::milliseconds timeout = 2000ms,
                                            const std::string& subAddress = "hislip0") {
    auto session =
        visa::HislipSession::open(visa::ResourceName::parse(resourceFor(port, subAddress)), kLongOpen);
    session->setTimeout(timeout);
    return session;
}

std::string query(visa::HislipSession& session, const std::string& message) {
    session.write(message);
    return session.read();
}

template <typename F> std::chrono::milliseconds elapsed(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

TEST(LanHislip, QueriesAndCommandsRoundTrip) {
    sim::Mainframe mainframe;
    sim::HislipServer server(mainframe);
    auto session = openAt(server.port());
    EXPECT_EQ(session->serverMaxMessageSize(), sim::HislipServer::kMaxMessageSize);
    EXPECT_EQ(query(*session, "*IDN?"), "Korvane,MF-7,SIM0001,1.0\n");
    session->write("DIG:PIN6:FUNC OFFC");
    EXPECT_EQ(query(*session, "SYST:ERR?"), "+0,\"No error\"\n");
    EXPECT_EQ(query(*session, "DIG:PIN6:FUNC?"), "OFFC\n");
}

TEST(LanHislip, OpeningFollowsTheProtocolsOrderAndMessageIdsAdvanceByTwo) {
    ScriptedHislip peer([](const HislipMessage& m) -> std::vector<std::string> {
        if (m.type() == HislipType::DataEnd) {
            return {encodeHislip(HislipType::DataEnd, 0, m.header.parameter, "DIO\n")};
        }
        return {};
    });
    auto session = openAt(peer.port());
    EXPECT_EQ(session->sessionId(), 7);
    EXPECT_EQ(query(*session, "DIG:PIN1:FUNC?"), "DIO\n");
    EXPECT_EQ(query(*session, "DIG:PIN2:FUNC?"), "DIO\n");

    const auto got = peer.received();
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].type(), HislipType::Initialize);
    EXPECT_EQ(got[0].header.parameter >> 16, kHislipVersion);
    EXPECT_EQ(got[0].payload, "hislip0");
    EXPECT_EQ(got[1].type(), HislipType::AsyncInitialize);
    EXPECT_EQ(got[1].header.parameter, 7u);
    EXPECT_EQ(got[2].type(), HislipType::AsyncMaximumMessageSize);
    EXPECT_EQ(got[2].payload.size(), 8u);
    EXPECT_EQ(got[3].header.parameter, kHislipFirstMessageId);
    EXPECT_EQ(got[3].header.control, 0); // no reply delivered yet
    EXPECT_EQ(got[4].header.parameter, kHislipFirstMessageId + 2);
    EXPECT_EQ(got[4].header.control, 1); // RMT-delivered: the first reply was read
}

TEST(LanHislip, WritesAreSplitAtTheServersMaximumMessageSize) {
    ScriptedHislip peer(noAnswer, 5);
    auto session = openAt(peer.port());
    session->write("DIG:OUTP:DATA 7");
    const auto got = peer.receivedWhen(6);
    ASSERT_EQ(got.size(), 6u);
    for (std::size_t i = 3; i < 6; ++i) {
        EXPECT_EQ(got[i].type(), i == 5 ? HislipType::DataEnd : HislipType::Data);
        EXPECT_EQ(got[i].header.parameter, kHislipFirstMessageId);
        EXPECT_EQ(got[i].payload.size(), 5u);
    }
}

TEST(LanHislip, StaleDataWithAnotherMessageIdIsDiscarded) {
    ScriptedHislip peer([](const HislipMessage& m) -> std::vector<std::string> {
        const std::uint32_t id = m.header.parameter;
        return {encodeHislip(HislipType::DataEnd, 0, id - 2, "stale\n"),
                encodeHislip(HislipType::Data, 0, id, "Korv"), encodeHislip(HislipType::Interrupted, 0, id),
                encodeHislip(HislipType::DataEnd, 0, id, "ane\n")};
    });
    auto session = openAt(peer.port());
    EXPECT_EQ(query(*session, "*IDN?"), "Korvane\n");
}

TEST(LanHislip, LateReplyAfterATimeOutIsNotTakenForTheNextOne) {
    sim::Mainframe mainframe;
    sim::HislipServer server(mainframe);
    auto session = openAt(server.port(), 150ms);
    mainframe.faults().inject(sim::Fault::DelayReply, 1, 400ms);
    session->write("*IDN?");
    EXPECT_EQ(FailureKind([&] { session->read(); }), VisaError::Kind::Timeout);
    session->setTimeout(2000ms);
    EXPECT_EQ(query(*session, "DIG:PIN5:POL?"), "POS\n");
}

TEST(LanHislip, SilentInstrumentTimesOut) {
    const auto silentRead = [](std::chrono::milliseconds timeout) {
        sim::Mainframe mainframe;
        sim::HislipServer server(mainframe);
        auto session = openAt(server.port(), timeout);
        mainframe.faults().inject(sim::Fault::StopAnswering);
        session->write("*IDN?");
        VisaError::Kind kind{};
        const auto took = elapsed([&] { kind = FailureKind([&] { session->read(); }); });
        EXPECT_EQ(kind, VisaError::Kind::Timeout);
        EXPECT_GE(took, timeout - 50ms);
        return took;
    };
    // The same run with three times the time-out is the baseline: a read that did not end at its own
    // time-out would take as long with either.
    const auto shorter = silentRead(300ms);
    EXPECT_LT(2 * shorter, silentRead(900ms));
}

TEST(LanHislip, InstrumentClosingMidReplyIsALostConnection) {
    ScriptedHislip peer([](const HislipMessage& m) -> std::vector<std::string> {
        const std::string reply = encodeHislip(HislipType::DataEnd, 0, m.header.parameter, "Korvane,MF-7\n");
        return {reply.substr(0, 20), ""};
    });
    auto session = openAt(peer.port());
    session->write("*IDN?");
    EXPECT_EQ(FailureKind([&] { session->read(); }), VisaError::Kind::ConnectionLost);
}

TEST(LanHislip, ServerErrorsAreReportedInPlainWords) {
    struct Case {
        std::string answer;
        VisaError::Kind kind;
        const char* words;
    };
    const Case cases[] = {
        {encodeHislip(HislipType::Error, 4, 0, "too big"), VisaError::Kind::Protocol, "message too large"},
        {encodeHislip(HislipType::FatalError, 1, 0, "bad\x01header"), VisaError::Kind::ConnectionLost,
         "poorly formed message header (\"bad?header\")"},
    };
    for (const Case& c : cases) {
        ScriptedHislip peer([&c](const HislipMessage&) { return std::vector<std::string>{c.answer}; });
        auto session = openAt(peer.port());
        session->write("*IDN?");
        std::string what;
        EXPECT_EQ(FailureKind([&] { session->read(); }, &what), c.kind);
        EXPECT_NE(what.find(c.words), std::string::npos) << what;
    }
}

TEST(LanHislip, WrongSubAddressFailsTheOpenQuickly) {
    sim::Mainframe mainframe;
    sim::HislipServer server(mainframe);
    std::string what;
    const auto took = elapsed([&] {
        EXPECT_EQ(FailureKind([&] { openAt(server.port(), kLongOpen, "hislip3"); }, &what),
                  VisaError::Kind::NotFound);
    });
    EXPECT_NE(what.find("hislip3"), std::string::npos) << what;
    EXPECT_NE(what.find("invalid initialization sequence"), std::string::npos) << what;
    EXPECT_LT(took, kLongOpen / 2) << "the open waited for its time-out";
}

TEST(LanHislip, OpenIsBoundedWhenTheServerNeverAnswers) {
    sim::TcpService silent("127.0.0.1", 0, "silent", [](sim::ServiceConnection& c) {
        while (c.receiveSome()) {
        }
    });
    const auto boundedOpen = [&](std::chrono::milliseconds timeout) {
        VisaError::Kind kind{};
        const auto took = elapsed([&] {
            kind = FailureKind([&] {
                visa::HislipSession::open(visa::ResourceName::parse(resourceFor(silent.port())), timeout);
            });
        });
        EXPECT_EQ(kind, VisaError::Kind::Timeout);
        EXPECT_GE(took, timeout - 50ms);
        return took;
    };
    // Against the same open with three times the time-out, in the same run.
    const auto shorter = boundedOpen(300ms);
    EXPECT_LT(2 * shorter, boundedOpen(900ms));
}

// The server, spoken to byte by byte.
class LanHislipServer : public ::testing::Test {
protected:
    visa::LanStream connect() {
        return visa::LanStream::connect("probe", "127.0.0.1", server.port(), base::Deadline(2000ms));
    }
    HislipMessage exchange(visa::LanStream& stream, const std::string& bytes) {
        const base::Deadline deadline(2000ms);
        stream.sendAll(bytes, deadline, "probe");
        for (;;) {
            if (auto message = assembler.next()) {
                return *message;
            }
            auto chunk = stream.receiveSome(deadline);
            if (!chunk) {
                throw std::runtime_error("no answer from the server");
            }
            assembler.feed(*chunk);
        }
    }
    std::uint16_t initialize(visa::LanStream& stream) {
        const auto answer = exchange(stream, encodeHislip(HislipType::Initialize, 0, 0x01000000u, "hislip0"));
        EXPECT_EQ(answer.type(), HislipType::InitializeResponse);
        EXPECT_EQ(answer.header.control, 0); // synchronized mode
        EXPECT_EQ(answer.header.parameter >> 16, kHislipVersion);
        return static_cast<std::uint16_t>(answer.header.parameter & 0xFFFF);
    }

    sim::Mainframe mainframe;
    sim::HislipServer server{mainframe};
    HislipAssembler assembler{1 << 21};
};

// What a new connection may send instead of Initialize, and the fatal error that ends it.
struct Uninitialized {
    const char* name;
    std::string bytes;
    HislipFatal fatal;
};

class LanHislipServerRefusal
    : public test_cases::Table<Uninitialized, &Uninitialized::name, LanHislipServer> {};

TEST_P(LanHislipServerRefusal, RefusesWhatComesBeforeOrInsteadOfInitialization) {
    auto stream = connect();
    const auto answer = exchange(stream, GetParam().bytes);
    EXPECT_EQ(answer.type(), HislipType::FatalError);
    EXPECT_EQ(answer.header.control, static_cast<std::uint8_t>(GetParam().fatal));
}

INSTANTIATE_TEST_SUITE_P(
    Connections, LanHislipServerRefusal,
    ::testing::Values(
        Uninitialized{"data first", encodeHislip(HislipType::DataEnd, 0, kHislipFirstMessageId, "*IDN?"),
                      HislipFatal::InvalidInitialization},
        Uninitialized{"unknown session", encodeHislip(HislipType::AsyncInitialize, 0, 999),
                      HislipFatal::InvalidInitialization},
        Uninitialized{"bad prologue", "XX" + encodeHislip(HislipType::Initialize, 0, 0).substr(2),
                      HislipFatal::PoorlyFormedHeader},
        Uninitialized{"oversized",
                      encodeHislip(HislipType::Initialize, 0, 0).substr(0, 8) + std::string(8, '\x7F'),
                      HislipFatal::PoorlyFormedHeader}));

TEST_F(LanHislipServer, AnswersTheAsynchronousMessages) {
    auto sync = connect();
    const std::uint16_t id = initialize(sync);
    auto async = connect();
    assembler = HislipAssembler(1 << 21);
    EXPECT_EQ(exchange(async, encodeHislip(HislipType::AsyncInitialize, 0, id)).type(),
              HislipType::AsyncInitializeResponse);
    const std::pair<std::string, HislipType> cases[] = {
        {encodeHislip(HislipType::AsyncMaximumMessageSize, 0, 0, encodeHislipSize(4096)),
         HislipType::AsyncMaximumMessageSizeResponse},
        {encodeHislip(HislipType::AsyncMaximumMessageSize, 0, 0, "short"), HislipType::Error},
        {encodeHislip(HislipType::AsyncStatusQuery, 0, kHislipFirstMessageId),
         HislipType::AsyncStatusResponse},
        {encodeHislip(HislipType::AsyncLock, 1, 0), HislipType::AsyncLockResponse},
        {encodeHislip(HislipType::AsyncDeviceClear, 0, 0), HislipType::AsyncDeviceClearAcknowledge},
        {encodeHislip(static_cast<HislipType>(99), 0, 0), HislipType::Error},
    };
    for (const auto& [bytes, expected] : cases) {
        EXPECT_EQ(exchange(async, bytes).type(), expected) << int(static_cast<std::uint8_t>(bytes[2]));
    }
}

TEST_F(LanHislipServer, RepliesCarryTheQuerysMessageIdAndAcceptFragments) {
    auto sync = connect();
    auto async = connect();
    EXPECT_EQ(exchange(async, encodeHislip(HislipType::AsyncInitialize, 0, initialize(sync))).type(),
              HislipType::AsyncInitializeResponse);
    const std::uint32_t id = kHislipFirstMessageId + 4;
    const auto reply = exchange(sync, encodeHislip(HislipType::Data, 0, id, "*ID") +
                                          encodeHislip(HislipType::DataEnd, 0, id, "N?"));
    EXPECT_EQ(reply.type(), HislipType::DataEnd);
    EXPECT_EQ(reply.header.parameter, id);
    EXPECT_EQ(reply.payload, "Korvane,MF-7,SIM0001,1.0\n");
    EXPECT_EQ(exchange(sync, encodeHislip(static_cast<HislipType>(42), 0, 0)).type(), HislipType::Error);
}

TEST_F(LanHislipServer, ServesDataOnlyOnceTheAsynchronousChannelIsOpenAndTakesOnlyOneOfThose) {
    auto early = connect();
    initialize(early);
    const auto refused =
        exchange(early, encodeHislip(HislipType::DataEnd, 0, kHislipFirstMessageId, "*IDN?"));
    EXPECT_EQ(refused.type(), HislipType::FatalError);
    EXPECT_EQ(refused.header.control, static_cast<std::uint8_t>(HislipFatal::ChannelsNotEstablished));

    auto sync = connect();
    const std::uint16_t id = initialize(sync);
    auto async = connect();
    EXPECT_EQ(exchange(async, encodeHislip(HislipType::AsyncInitialize, 0, id)).type(),
              HislipType::AsyncInitializeResponse);
    auto intruder = connect();
    const auto second = exchange(intruder, encodeHislip(HislipType::AsyncInitialize, 0, id));
    EXPECT_EQ(second.type(), HislipType::FatalError);
    EXPECT_EQ(second.header.control, static_cast<std::uint8_t>(HislipFatal::InvalidInitialization));
}

TEST_F(LanHislipServer, AnOversizedMessageIsAnsweredWithErrorAndQueuesTooMuchData) {
    auto sync = connect();
    auto async = connect();
    exchange(async, encodeHislip(HislipType::AsyncInitialize, 0, initialize(sync)));
    const std::uint32_t id = kHislipFirstMessageId;
    const auto refused = exchange(sync, encodeHislip(HislipType::Data, 0, id, std::string(70 * 1024, ' ')) +
                                            encodeHislip(HislipType::DataEnd, 0, id, "*IDN?"));
    EXPECT_EQ(refused.type(), HislipType::Error);
    EXPECT_EQ(refused.header.control, static_cast<std::uint8_t>(HislipErrorCode::MessageTooLarge));
    EXPECT_EQ(exchange(sync, encodeHislip(HislipType::DataEnd, 0, id + 2, "SYST:ERR?")).payload,
              "-223,\"Too much data\"\n");
}

} // namespace
