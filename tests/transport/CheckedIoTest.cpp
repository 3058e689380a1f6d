#include "sim/SocketServer.h"
#include "tests/support/AnsweringPeer.h"
#include "tests/support/CaseTable.h"
#include "tests/transport/TransportFixture.h"
#include "transport/TransportFailure.h"

#include <atomic>
#include <cstdio>

namespace {

const std::string kCommandError = "The command that was sent resulted in the following error: \r\n";
const std::string kCommandErrorEnd = "\r\nPlease double check the command and re-enter it";

std::string TimeoutMessage(const std::string& list) {
    return "Timeout error:\r\nThe power supply returned the following errors: \r\n" + list +
           "\r\nPlease check your query and try again.";
}

TEST_F(TransportTest, AcceptedCommandIsFollowedByOneErrorQueryAndNoMessage) {
    OpenQuietly();
    SCPI_DCPS::SendCommand("DIG:PIN4:FUNC TOUT", session);
    EXPECT_EQ(mainframe().traffic().received(),
              (std::vector<std::string>{"DIG:PIN4:FUNC TOUT", "SYST:ERR?"}));
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(mainframe().state().pinFunction[4], "TOUT");
}

TEST_F(TransportTest, RejectedCommandShowsTheTrimmedErrorAndCarriesOn) {
    OpenQuietly();
    SCPI_DCPS::SendCommand("DIG:PIN2:FUNC FAUL", session);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], kCommandError + "-221,\"Settings conflict\"" + kCommandErrorEnd);
    // Only one queue entry per command: the next command's check sees the next error.
    SCPI_DCPS::SendCommand("DIG:PIN1:POL NEG", session);
    EXPECT_EQ(notices.size(), 1u);
}

TEST_F(TransportTest, ReplyEndingInCrLfKeepsItsCarriageReturn) {
    OpenQuietly();
    mainframe().faults().inject(sim::Fault::CrLfTerminator);
    EXPECT_EQ(SCPI_DCPS::SendQuery("DIG:PIN1:POL?", session), "POS\r");
    SCPI_DCPS::SendCommand("DIG:PIN1:POL NEG", session);
    ASSERT_EQ(notices.size(), 1u) << "even the no-error reply counts as an error with its CR";
    EXPECT_EQ(notices[0], kCommandError + "+0,\"No error\"\r" + kCommandErrorEnd);
}

TEST_F(TransportTest, SuccessfulQueryReturnsTheReplyWithoutItsLastCharacterOnly) {
    OpenQuietly();
    EXPECT_EQ(SCPI_DCPS::SendQuery("DIG:PIN1:FUNC?", session), "DIO");
    EXPECT_EQ(SCPI_DCPS::SendQuery("*IDN?", session),
              "Korvane,MF-7," + sim::Mainframe::serialNumberFor(3) + ",1.0");
    EXPECT_EQ(mainframe().traffic().received(), (std::vector<std::string>{"DIG:PIN1:FUNC?", "*IDN?"}));
    EXPECT_TRUE(notices.empty());
}

// Over the raw socket every reply counts as read once sent, so both answers to the doubled
// "SYST:ERR?" arrive and the readout runs as designed.
class SocketReadoutTest : public TransportTest {
protected:
    void SetUp() override {
        TransportTest::SetUp();
        server = std::make_unique<sim::SocketServer>(served, "127.0.0.1", 0);
        ASSERT_TRUE(SCPI_DCPS::OpenSession(resource(), session, 1));
        notices.clear();
        served.traffic().clear();
    }
    std::string resource() const {
        return "TCPIP0::127.0.0.1::" + std::to_string(server->port()) + "::SOCKET";
    }

    sim::Mainframe served;
    std::unique_ptr<sim::SocketServer> server;
};

TEST_F(SocketReadoutTest, FailedQueryWithNothingMoreQueuedListsTheNoErrorReplyAlone) {
    EXPECT_EQ(SCPI_DCPS::SendQuery("DIG:PIN9:FUNC?", session), "");
    EXPECT_EQ(served.traffic().received(),
              (std::vector<std::string>{"DIG:PIN9:FUNC?", "SYST:ERR?", "SYST:ERR?"}));
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0], kCommandError + "-114,\"Header suffix out of range\"" + kCommandErrorEnd);
    EXPECT_EQ(notices[1], TimeoutMessage("+0,\"No error\""));
}

TEST_F(SocketReadoutTest, FailedQueryListsEveryQueuedErrorButNotTheFinalNoError) {
    served.receive("DIG:PIN1:FUNC BOGUS"); // -224 queued behind the query's own error
    served.receive("DIG:PIN1:FUNC");       // -109
    EXPECT_EQ(SCPI_DCPS::SendQuery("DIG:PIN9:FUNC?", session), "");
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0], kCommandError + "-224,\"Illegal parameter value\"" + kCommandErrorEnd);
    EXPECT_EQ(notices[1],
              TimeoutMessage("-109,\"Missing parameter\"\r\n-114,\"Header suffix out of range\""));
}

TEST_F(TransportTest, ErrorReadoutStopsAfterOneHundredEntries) {
    std::atomic<int> errorQueries = 0;
    AnsweringPeer peer([&](const std::string& line) -> std::optional<std::string> {
        if (line == "*IDN?")
            return "Korvane,MF-7,X,1\n";
        if (line == "SYST:ERR?") {
            ++errorQueries;
            return "0,\"No error\"\n"; // an empty queue in a form the program does not take for one
        }
        return std::nullopt;
    });
    ASSERT_TRUE(SCPI_DCPS::OpenSession(peer.resource(), session, 1));
    notices.clear();
    EXPECT_EQ(SCPI_DCPS::SendQuery("DIG:PIN1:FUNC?", session), "");
    ASSERT_EQ(notices.size(), 2u);
    std::string list = "0,\"No error\"";
    for (int i = 1; i < SCPI_DCPS::kMaxErrorReadout; ++i)
        list += "\r\n0,\"No error\"";
    EXPECT_EQ(notices[1], TimeoutMessage(list + "\r\n(further errors were not read)"));
    EXPECT_EQ(errorQueries, 2 + SCPI_DCPS::kMaxErrorReadout - 1);
}

TEST_F(TransportTest, ReadoutThatCannotReadIsHandedToTheCallerInPlainWords) {
    OpenQuietly();
    // The instrument drops the unread answer when the second "SYST:ERR?" arrives, so the readout's own
    // read has nothing to take.
    try {
        SCPI_DCPS::SendQuery("DIG:PIN9:FUNC?", session);
        FAIL() << "the readout failure must reach the caller";
    } catch (const transport::TransportFailure& failure) {
        EXPECT_EQ(
            std::string(failure.what())
                .rfind("The operation was stopped because reading the power supply's error queue failed: ",
                       0),
            0u)
            << failure.what();
    }
    EXPECT_EQ(mainframe().traffic().received(),
              (std::vector<std::string>{"DIG:PIN9:FUNC?", "SYST:ERR?", "SYST:ERR?"}));
}

// Lost communication is told first, then handed to the window's ending; a caller without one gets the
// loss as InstrumentLost and nothing more is sent.
struct LostCase {
    const char* name;
    std::function<void(InstrumentSession&)> exchange;
};

class LostCommunication : public TransportTest, public ::testing::WithParamInterface<LostCase> {
protected:
    void TearDown() override {
        globals::EndProgramOnLostCommunication = nullptr;
        TransportTest::TearDown();
    }
};

TEST_P(LostCommunication, IsToldOnceThenEndsTheProgramOrAbandonsTheOperation) {
    for (const bool windowEnds : {true, false}) {
        SCOPED_TRACE(windowEnds ? "with the window's ending" : "without one");
        OpenQuietly();
        mainframe().faults().inject(sim::Fault::StopAnswering);
        int endings = 0;
        globals::EndProgramOnLostCommunication = nullptr;
        if (windowEnds)
            globals::EndProgramOnLostCommunication = [&] {
                ++endings;
            };
        EXPECT_THROW(GetParam().exchange(session), transport::InstrumentLost);
        EXPECT_EQ(notices, (std::vector<std::string>{"Lost communication with the power supply, please check "
                                                     "your connection and restart the program"}));
        EXPECT_EQ(endings, windowEnds ? 1 : 0);
        mainframe().faults().clear();
    }
}

INSTANTIATE_TEST_SUITE_P(Transport, LostCommunication,
                         ::testing::Values(LostCase{"Command",
                                                    [](InstrumentSession& s) {
                                                        SCPI_DCPS::SendCommand("DIG:PIN1:POL POS", s);
                                                    }},
                                           LostCase{"QueryReadout",
                                                    [](InstrumentSession& s) {
                                                        SCPI_DCPS::SendQuery("DIG:PIN1:POL?", s);
                                                    }},
                                           LostCase{"NoSession",
                                                    [](InstrumentSession& s) {
                                                        s.reset();
                                                        SCPI_DCPS::SendCommand("DIG:PIN1:POL POS", s);
                                                    }}),
                         test_cases::byName);

} // namespace
