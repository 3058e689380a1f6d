// The mainframe as a device: its error queue, reset, unread replies, traffic record and faults.
#include "sim/ClientSession.h"
#include "tests/sim/MainframeTestSupport.h"

#include <cctype>
#include <gtest/gtest.h>

namespace sim {
namespace {

using namespace std::chrono_literals;
using testing::ask;
using testing::drainErrors;

TEST(MainframeErrorQueue, KeepsTheOldestTwentyAndMarksTheOverflow) {
    Mainframe mainframe;
    for (int i = 0; i < 19; ++i) {
        mainframe.receive("BAD" + std::to_string(i));
    }
    mainframe.receive("DIG:OUTP:DATA 500"); // the 20th fills the queue
    mainframe.receive("DIG:PIN9:FUNC?");    // the 21st and 22nd overflow it
    mainframe.receive("DIG:PIN9:FUNC?");
    EXPECT_EQ(mainframe.errorCount(), 20u);
    const auto errors = drainErrors(mainframe);
    ASSERT_EQ(errors.size(), 20u);
    EXPECT_EQ(errors.front(), "-113,\"Undefined header\"");
    EXPECT_EQ(errors[18], "-113,\"Undefined header\"");
    EXPECT_EQ(errors.back(), "-350,\"Queue overflow\"");
    EXPECT_EQ(mainframe.errorCount(), 0u);
}

TEST(MainframeErrorQueue, ClsEmptiesQueueAndEventStatus) {
    Mainframe mainframe;
    mainframe.receive("BAD");
    mainframe.receive("DIG:OUTP:DATA 500");
    EXPECT_EQ(ask(mainframe, "*STB?"), "+4\n");
    mainframe.receive("*CLS");
    EXPECT_EQ(mainframe.errorCount(), 0u);
    EXPECT_EQ(ask(mainframe, "*ESR?;*STB?"), "+0;+0\n");
}

TEST(MainframeErrorQueue, EventStatusNamesTheClassesOfErrorSeenAndClearsOnRead) {
    Mainframe mainframe;
    mainframe.receive("BAD");               // command error, bit 5
    mainframe.receive("DIG:OUTP:DATA 500"); // execution error, bit 4
    EXPECT_EQ(ask(mainframe, "*ESR?"), "+48\n");
    EXPECT_EQ(ask(mainframe, "*ESR?"), "+0\n");
}

TEST(MainframeReset, RstClearsTheOutputWordOnlyAndKeepsTheErrorQueue) {
    Mainframe mainframe;
    mainframe.receive("DIG:PIN4:FUNC ONC;POL NEG;:OUTP:INH:MODE LATC;:DIG:OUTP:DATA 77;:BAD");
    mainframe.receive("*RST");
    const PortState state = mainframe.state();
    EXPECT_EQ(state.outputWord, 0);
    EXPECT_EQ(state.pinFunction[4], "ONC");
    EXPECT_EQ(state.pinPolarity[4], "NEG");
    EXPECT_EQ(state.inhibitMode, "LATC");
    EXPECT_EQ(mainframe.errorCount(), 1u);
}

TEST(MainframeReset, FactoryStateAndPowerOnReset) {
    Mainframe mainframe;
    const auto expectFactory = [&mainframe] {
        const PortState state = mainframe.state();
        for (int pin = 1; pin <= 7; ++pin) {
            EXPECT_EQ(state.pinFunction[pin], "DIO");
            EXPECT_EQ(state.pinPolarity[pin], "POS");
        }
        EXPECT_EQ(state.outputWord, 0);
        EXPECT_EQ(state.externalInputLevels, 0);
        EXPECT_EQ(state.inhibitMode, "OFF");
    };
    expectFactory();
    mainframe.receive("DIG:PIN1:FUNC FAUL;POL NEG;:OUTP:INH:MODE LIVE;:DIG:OUTP:DATA 3;:BAD;*IDN?");
    mainframe.setExternalInputLevels(5);
    mainframe.faults().inject(Fault::DropReply);
    mainframe.reset();
    expectFactory();
    EXPECT_EQ(mainframe.errorCount(), 0u);
    EXPECT_FALSE(mainframe.session().replyPending());
    EXPECT_TRUE(mainframe.traffic().entries().empty());
    EXPECT_FALSE(mainframe.faults().armed(Fault::DropReply));
}

TEST(MainframeState, SetStateArrangesWhatQueriesReport) {
    Mainframe mainframe;
    PortState state = mainframe.state();
    state.pinFunction[3] = "INH";
    state.pinPolarity[6] = "NEG";
    state.outputWord = 42;
    state.inhibitMode = "LIVE";
    mainframe.setState(state);
    EXPECT_EQ(ask(mainframe, "DIG:PIN3:FUNC?;:DIG:PIN6:POL?;:DIG:OUTP:DATA?;:OUTP:INH:MODE?"),
              "INH;NEG;+42;LIVE\n");
}

TEST(MainframeState, SetStateRefusesWhatTheHardwareCannotBeAndKeepsTheOldState) {
    Mainframe mainframe;
    const auto refuse = [&mainframe](auto&& change) {
        const PortState before = mainframe.state();
        PortState state = before;
        change(state);
        EXPECT_THROW(mainframe.setState(state), std::invalid_argument);
        EXPECT_EQ(mainframe.state(), before);
    };
    refuse([](PortState& s) { s.pinFunction[2] = "FAUL"; });
    refuse([](PortState& s) { s.pinFunction[2] = "dio"; });
    refuse([](PortState& s) { s.pinPolarity[1] = ""; });
    refuse([](PortState& s) { s.outputWord = 128; });
    refuse([](PortState& s) {
        s.outputWord = 5;
        s.inhibitMode = "LATCHING";
    });
}

TEST(MainframeUnreadReply, NewMessageDiscardsItAndQueuesQueryInterrupted) {
    Mainframe mainframe;
    mainframe.receive("*IDN?");
    EXPECT_TRUE(mainframe.session().replyPending());
    EXPECT_EQ(ask(mainframe, "DIG:OUTP:DATA?"), "+0\n");
    EXPECT_FALSE(mainframe.session().replyPending());
    EXPECT_EQ(drainErrors(mainframe), std::vector<std::string>{"-410,\"Query INTERRUPTED\""});
    EXPECT_EQ(ask(mainframe, "*OPC?"), "1\n");
}

TEST(MainframeSessions, EachKeepsItsOwnReplyAndOnlyItsOwnNextMessageInterruptsIt) {
    Mainframe mainframe;
    ClientSession first(mainframe);
    ClientSession second(mainframe);
    first.receive("*IDN?");
    second.receive("DIG:OUTP:DATA 3;DATA?");
    mainframe.receive("*OPC?");
    EXPECT_EQ(second.takeReply()->bytes, "+3\n");
    EXPECT_EQ(first.takeReply()->bytes, "Korvane,MF-7,SIM0001,1.0\n");
    EXPECT_EQ(mainframe.session().takeReply()->bytes, "1\n");
    EXPECT_EQ(mainframe.errorCount(), 0u);

    first.receive("*IDN?");
    first.receive("*OPC?"); // the settings and the error queue are shared
    EXPECT_TRUE(first.replyPending());
    EXPECT_FALSE(second.replyPending());
    EXPECT_EQ(drainErrors(mainframe), std::vector<std::string>{"-410,\"Query INTERRUPTED\""});
}

TEST(MainframeSessions, ResetEmptiesEverySessionAndAFaultHangsUpOnlyTheSessionItFiredOn) {
    Mainframe mainframe;
    ClientSession first(mainframe);
    ClientSession second(mainframe);
    first.receive("*IDN?");
    mainframe.reset();
    EXPECT_FALSE(first.replyPending());
    mainframe.faults().inject(Fault::CloseConnection, 1);
    second.receive("*OPC?");
    EXPECT_FALSE(first.hangUpRequested());
    EXPECT_TRUE(second.hangUpRequested());
}

TEST(MainframeUnreadReply, NothingPendingMeansNoReply) {
    Mainframe mainframe;
    EXPECT_FALSE(mainframe.session().takeReply());
    mainframe.receive("*RST");
    EXPECT_FALSE(mainframe.session().takeReply());
    mainframe.receive("*IDN?");
    EXPECT_TRUE(mainframe.session().takeReply());
    EXPECT_FALSE(mainframe.session().takeReply());
}

TEST(MainframeTraffic, RecordsMessagesWithoutTerminatorAndRepliesAsSent) {
    Mainframe mainframe;
    mainframe.receive("*IDN?\r\n");
    mainframe.receive("*RST\n");
    mainframe.receive("DIG:OUTP:DATA?");
    mainframe.session().takeReply();
    EXPECT_EQ(mainframe.traffic().received(), (std::vector<std::string>{"*IDN?", "*RST", "DIG:OUTP:DATA?"}));
    EXPECT_EQ(mainframe.traffic().sent(), std::vector<std::string>{"+0\n"});
    const auto entries = mainframe.traffic().entries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries.back().direction, TrafficRecord::Direction::Sent);
    for (std::size_t i = 1; i < entries.size(); ++i) {
        EXPECT_LE(entries[i - 1].time, entries[i].time);
    }
}

TEST(MainframeFaults, ReplyFaultsChangeWhatComesBack) {
    struct Case {
        Fault fault;
        std::string bytes;
        std::chrono::milliseconds delay;
    };
    const Case cases[] = {
        {Fault::CrLfTerminator, "+0\r\n", 0ms},
        {Fault::Garbage, std::string(FaultInjector::kGarbage) + "\n", 0ms},
        {Fault::DelayReply, "+0\n", 250ms},
    };
    for (const Case& c : cases) {
        Mainframe mainframe;
        mainframe.faults().inject(c.fault, 1, 250ms);
        mainframe.receive("DIG:OUTP:DATA?");
        const auto reply = mainframe.session().takeReply();
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->bytes, c.bytes);
        EXPECT_EQ(reply->delay, c.delay);
        EXPECT_EQ(mainframe.traffic().sent(), std::vector<std::string>{c.bytes});
        EXPECT_EQ(ask(mainframe, "DIG:OUTP:DATA?"), "+0\n") << "a count of 1 lasts one reply";
    }
}

TEST(MainframeFaults, GarbageIsNoValidAnswer) {
    const std::string_view garbage = FaultInjector::kGarbage;
    EXPECT_EQ(garbage.find('\n'), std::string_view::npos);
    EXPECT_EQ(garbage.find("No error"), std::string_view::npos);
    EXPECT_FALSE(std::isdigit(static_cast<unsigned char>(garbage.front())));
}

TEST(MainframeFaults, DropReplyProcessesTheQueryButLosesTheReply) {
    Mainframe mainframe;
    mainframe.faults().inject(Fault::DropReply, 2);
    mainframe.receive("DIG:OUTP:DATA 7;DATA?");
    EXPECT_FALSE(mainframe.session().takeReply());
    mainframe.receive("*RST"); // commands do not use up a reply fault
    mainframe.receive("*IDN?");
    EXPECT_FALSE(mainframe.session().replyPending());
    EXPECT_EQ(ask(mainframe, "*OPC?"), "1\n");
    EXPECT_EQ(mainframe.errorCount(), 0u) << "a lost reply is no unread reply";
    EXPECT_EQ(mainframe.state().outputWord, 0);
}

TEST(MainframeFaults, StopAnsweringIgnoresMessagesButRecordsThem) {
    Mainframe mainframe;
    mainframe.faults().inject(Fault::StopAnswering, 2);
    mainframe.receive("DIG:OUTP:DATA 7");
    mainframe.receive("BAD?");
    EXPECT_EQ(mainframe.state().outputWord, 0);
    EXPECT_EQ(mainframe.errorCount(), 0u);
    EXPECT_EQ(mainframe.traffic().received(), (std::vector<std::string>{"DIG:OUTP:DATA 7", "BAD?"}));
    EXPECT_EQ(ask(mainframe, "DIG:OUTP:DATA?"), "+0\n");
}

TEST(MainframeFaults, StopAnsweringUntilClearedHidesAPendingReply) {
    Mainframe mainframe;
    mainframe.receive("*IDN?");
    mainframe.faults().inject(Fault::StopAnswering);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ask(mainframe, "*IDN?"), "<none>");
    }
    mainframe.faults().clear();
    EXPECT_EQ(ask(mainframe, "*OPC?"), "1\n");
}

TEST(MainframeFaults, CloseConnectionIsRequestedOnceAfterTheNextMessage) {
    Mainframe mainframe;
    mainframe.faults().inject(Fault::CloseConnection, 1);
    EXPECT_FALSE(mainframe.session().hangUpRequested());
    mainframe.receive("DIG:OUTP:DATA 3");
    EXPECT_TRUE(mainframe.session().hangUpRequested());
    EXPECT_FALSE(mainframe.session().hangUpRequested());
    EXPECT_EQ(mainframe.state().outputWord, 3);
    mainframe.receive("*RST");
    EXPECT_FALSE(mainframe.session().hangUpRequested());
}

TEST(MainframeFaults, IgnoredMessageStillCountsForCloseConnection) {
    Mainframe mainframe;
    mainframe.faults().inject(Fault::StopAnswering, 1);
    mainframe.faults().inject(Fault::CloseConnection, 1);
    mainframe.receive("*IDN?");
    EXPECT_TRUE(mainframe.session().hangUpRequested());
}

TEST(MainframeFaults, InjectorCountsUsesAndRefusesNonsense) {
    FaultInjector faults;
    faults.inject(Fault::Garbage, 2);
    EXPECT_TRUE(faults.consume(Fault::Garbage));
    EXPECT_TRUE(faults.armed(Fault::Garbage));
    EXPECT_TRUE(faults.consume(Fault::Garbage));
    EXPECT_FALSE(faults.consume(Fault::Garbage));
    faults.inject(Fault::DropReply);
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(faults.consume(Fault::DropReply));
    }
    EXPECT_THROW(faults.inject(Fault::DropReply, -1), std::invalid_argument);
    faults.clear();
    EXPECT_FALSE(faults.armed(Fault::DropReply));
}

TEST(MainframeLimits, OversizedMessageIsRefusedWithTooMuchData) {
    Mainframe mainframe;
    mainframe.receive("DIG:OUTP:DATA 5;" + std::string(Mainframe::kMaxMessageBytes, ' ') + "*IDN?");
    EXPECT_FALSE(mainframe.session().replyPending());
    EXPECT_EQ(mainframe.state().outputWord, 0);
    EXPECT_EQ(drainErrors(mainframe), std::vector<std::string>{"-223,\"Too much data\""});
}

} // namespace
} // namespace sim
