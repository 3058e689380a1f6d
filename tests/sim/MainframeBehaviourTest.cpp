// The mainframe as a device: its error queue, reset, unread replies, traffic record and faults.
#include "sim/ClientSession.h"
#include "tests/sim/MainframeTestSupport.h"
#include "tests/support/CaseTable.h"

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

// A lesser instrument's habit: what it makes of a message, and what it queues for what it does not take.
struct HabitCase {
    const char* label;
    Fault habit;
    std::string message;
    std::string reply; // as on the wire, or "<none>"
    std::vector<std::string> errors;
    int outputWord; // what the message's commands left
};

class LesserInstrumentHabits : public test_cases::Table<HabitCase, &HabitCase::label> {};

TEST_P(LesserInstrumentHabits, TakeWhatTheyCanAndQueueAnErrorForTheRest) {
    const HabitCase& c = GetParam();
    Mainframe mainframe;
    mainframe.faults().inject(c.habit);
    EXPECT_EQ(ask(mainframe, c.message), c.reply);
    EXPECT_EQ(drainErrors(mainframe), c.errors);
    EXPECT_EQ(mainframe.state().outputWord, c.outputWord);
    // A habit lasts: it is how the instrument is, not one fault.
    EXPECT_EQ(ask(mainframe, c.message), c.reply);
    mainframe.faults().clear();
    EXPECT_EQ(ask(mainframe, "DIG:OUTP:DATA?;*OPC?"), "+" + std::to_string(c.outputWord) + ";1\n");
}

const std::string kSixtyFourBytes = "DIG:OUTP:DATA 100;:DIG:PIN1:POL?;:DIG:PIN2:FUNC?;:DIG:PIN3:FUNC?";
static_assert(FaultInjector::kSmallInputBuffer == 64, "kSixtyFourBytes fills the buffer exactly");

INSTANTIATE_TEST_SUITE_P(
    Habits, LesserInstrumentHabits,
    ::testing::Values(HabitCase{"root specifier refused, the other units answered",
                                Fault::RefuseRootSpecifier,
                                "*OPC?;:DIG:OUTP:DATA?;DIG:OUTP:DATA 3;:DIG:PIN1:POL?;*OPC?",
                                "1;1\n",
                                {"-113,\"Undefined header\"", "-113,\"Undefined header\""},
                                3},
                      HabitCase{"root specifier: a message without one is all taken",
                                Fault::RefuseRootSpecifier,
                                "DIG:OUTP:DATA 4;DATA?",
                                "+4\n",
                                {},
                                4},
                      HabitCase{"one unit per message: the first runs, the rest is one syntax error",
                                Fault::OneUnitPerMessage,
                                "DIG:OUTP:DATA 6;:DIG:OUTP:DATA 7;*OPC?",
                                "<none>",
                                {"-102,\"Syntax error\""},
                                6},
                      HabitCase{"one unit per message: a query alone is answered",
                                Fault::OneUnitPerMessage,
                                "*OPC?",
                                "1\n",
                                {},
                                0},
                      HabitCase{
                          "small buffer: the unit cut off and all after it are lost",
                          Fault::SmallInputBuffer,
                          "DIG:OUTP:DATA 2;*OPC?;:DIG:PIN1:FUNC?;:DIG:PIN2:FUNC?;:DIG:OUTP:DATA 9;*OPC?",
                          "1;DIO;DIO\n",
                          {"-363,\"Input buffer overrun\""},
                          2},
                      HabitCase{"small buffer: a message of 64 bytes fits",
                                Fault::SmallInputBuffer,
                                kSixtyFourBytes,
                                "POS;DIO;DIO\n",
                                {},
                                100},
                      HabitCase{"small buffer: a unit that ends at byte 64 still runs",
                                Fault::SmallInputBuffer,
                                kSixtyFourBytes + ";:DIG:OUTP:DATA 8",
                                "POS;DIO;DIO\n",
                                {"-363,\"Input buffer overrun\""},
                                100}));

} // namespace
} // namespace sim
