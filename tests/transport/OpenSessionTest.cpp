#include "tests/support/AnsweringPeer.h"
#include "tests/transport/TransportFixture.h"

namespace {

const std::string kIdentityLead =
    "The instrument you are communicating with returns the following *IDN? string:\r\n";

TEST_F(TransportTest, OpenWithoutClearSendsOnlyTheIdentityQueryAndShowsTheWholeReply) {
    ASSERT_TRUE(SCPI_DCPS::OpenSession(kSim, session, 1));
    EXPECT_EQ(mainframe().traffic().received(), (std::vector<std::string>{"*IDN?"}));
    ASSERT_EQ(notices.size(), 1u);
    // Four fields and the reply's own line feed, exactly as read.
    EXPECT_EQ(notices[0], kIdentityLead + "Korvane,MF-7," + sim::Mainframe::serialNumberFor(3) + ",1.0\n");
}

TEST_F(TransportTest, OpenWithClearSendsResetOnlyAfterTheIdentityIsAcknowledged) {
    std::size_t messagesWhenShown = 0;
    globals::ShowNotice = [&](const std::string& text) {
        notices.push_back(text);
        messagesWhenShown = mainframe().traffic().received().size();
    };
    ASSERT_TRUE(SCPI_DCPS::OpenSession(kSim, session, 0));
    EXPECT_EQ(messagesWhenShown, 1u);
    // Written directly: no error-queue check follows the clear.
    EXPECT_EQ(mainframe().traffic().received(), (std::vector<std::string>{"*IDN?", "*RST;*CLS"}));
}

TEST_F(TransportTest, AnyNonZeroFlagSkipsTheClear) {
    ASSERT_TRUE(SCPI_DCPS::OpenSession(kSim, session, -7));
    EXPECT_EQ(mainframe().traffic().received(), (std::vector<std::string>{"*IDN?"}));
}

TEST_F(TransportTest, IdentityWithoutCommaFailsAfterTheSessionWasOpened) {
    AnsweringPeer peer([](const std::string& line) -> std::optional<std::string> {
        if (line == "*IDN?")
            return "KORVANE MF-7\n";
        return std::nullopt;
    });
    EXPECT_FALSE(SCPI_DCPS::OpenSession(peer.resource(), session, 0));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].rfind("Set IO error:\r\n", 0), 0u) << notices[0];
    EXPECT_NE(notices[0].find("KORVANE MF-7"), std::string::npos) << "the description quotes the reply";
    // No identity message, and no clear was sent although the flag asked for one.
    EXPECT_EQ(peer.received(), (std::vector<std::string>{"*IDN?"}));
    EXPECT_FALSE(session) << "an instrument that cannot be identified is not kept";
}

TEST_F(TransportTest, FailedOpenReportsTheDescriptionAndStillReplacesTheSession) {
    ASSERT_TRUE(SCPI_DCPS::OpenSession(kSim, session, 1));
    const transport::Instrument* first = session.get();
    notices.clear();

    EXPECT_FALSE(SCPI_DCPS::OpenSession("", session, 1));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].rfind("Set IO error:\r\n", 0), 0u);
    EXPECT_GT(notices[0].size(), std::string("Set IO error:\r\n").size()) << "a description follows";
    EXPECT_NE(session.get(), first);
    EXPECT_FALSE(session) << "the first session is gone even though the second open failed";
}

TEST_F(TransportTest, ModelIsTheSecondFieldAndKeepsTheTerminatorOfATwoFieldReply) {
    EXPECT_EQ(SCPI_DCPS::ModelFromIdentity("Korvane,MF-7,SIM0001,1.0\n"), "MF-7");
    EXPECT_EQ(SCPI_DCPS::ModelFromIdentity("Korvane,MF-7\n"), "MF-7\n");
    EXPECT_EQ(SCPI_DCPS::ModelFromIdentity("Korvane,,x"), "");
    EXPECT_THROW(SCPI_DCPS::ModelFromIdentity("Korvane MF-7\n"), std::runtime_error);
    EXPECT_THROW(SCPI_DCPS::ModelFromIdentity(""), std::runtime_error);
}

TEST_F(TransportTest, CloseEndsTheSessionAndLaterIoFails) {
    OpenQuietly();
    SCPI_DCPS::CloseSession(session);
    EXPECT_THROW(session->command("*IDN?"), transport::InstrumentLost);
}

} // namespace
