#include "sim/Mainframe.h"
#include "tests/support/FreshBoards.h"
#include "tests/support/VisaFailure.h"
#include "visa/ResourceManager.h"
#include "visa/VisaError.h"

#include <chrono>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

using namespace std::chrono_literals;
using sim::Fault;
using testing::ElementsAre;
using visa::MessageSession;
using visa::VisaError;

std::unique_ptr<MessageSession> openBoard(unsigned board, std::chrono::milliseconds ioTimeout = 5000ms) {
    auto session = visa::ResourceManager().Open("SIM" + std::to_string(board) + "::INSTR", 2000ms);
    session->setTimeout(ioTimeout);
    return session;
}

// Every test has boards of its own, so that the mainframes' lasting state never leaks between tests.
class SimSession : public ::testing::Test {
protected:
    FreshBoards boards;
};

TEST_F(SimSession, AnswersAQueryWithItsTerminator) {
    auto session = openBoard(1);
    session->write("*IDN?\n");
    EXPECT_EQ(session->read(), "Korvane,MF-7,SIM0002,1.0\n");
    EXPECT_THAT(boards.board(1).traffic().received(), ElementsAre("*IDN?"));
}

TEST_F(SimSession, ReopeningFindsTheStateThatWasLeft) {
    auto first = openBoard(2);
    first->write("DIG:OUTP:DATA 5;:DIG:PIN4:FUNC ONC");
    first->close();
    first.reset();

    auto second = visa::ResourceManager().Open("sim2::instr", 2000ms);
    second->write("DIG:OUTP:DATA?;:DIG:PIN4:FUNC?");
    EXPECT_EQ(second->read(), "+5;ONC\n");
    EXPECT_EQ(boards.board(2).state().outputWord, 5);
}

TEST_F(SimSession, BoardsAreSeparateInstruments) {
    auto zero = openBoard(3);
    auto other = openBoard(4);
    zero->write("DIG:OUTP:DATA 9");
    other->write("DIG:OUTP:DATA?");
    EXPECT_EQ(other->read(), "+0\n");
}

TEST_F(SimSession, FlushDiscardsAnUnreadReplyWithoutInterruptingTheQuery) {
    auto session = openBoard(5);
    session->write("*IDN?");
    session->flushRead();
    session->write("SYST:ERR?");
    EXPECT_EQ(session->read(), "+0,\"No error\"\n");
    EXPECT_THAT(boards.board(5).traffic().sent(), ElementsAre("+0,\"No error\"\n"));
}

TEST_F(SimSession, ReadWithNothingToReadFailsAtOnceAsTimeout) {
    auto session = openBoard(6, 5000ms);
    session->write("DIG:OUTP:DATA 1");
    const auto start = std::chrono::steady_clock::now();
    const auto error = FailureOf([&] { session->read(); });
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms) << "waited for its time-out of 5000 ms";
    EXPECT_EQ(error.kind(), VisaError::Kind::Timeout);
    EXPECT_EQ(std::string(error.what()), "SIM6::INSTR: no reply within 5000 ms");
}

TEST_F(SimSession, ADelayedReplyArrivesWithinTheTimeoutAndFailsBeyondIt) {
    auto session = openBoard(7, 300ms);
    auto& faults = boards.board(7).faults();

    faults.inject(Fault::DelayReply, 1, 50ms);
    session->write("*OPC?");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(session->read(), "1\n");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);

    // A reply due long after the time-out: a read that waited for it would take the delay, not the
    // time-out, and get the reply instead of failing.
    faults.inject(Fault::DelayReply, 1, 20000ms);
    session->write("*OPC?");
    const auto lateStart = std::chrono::steady_clock::now();
    const auto error = FailureOf([&] { session->read(); });
    const auto waited = std::chrono::steady_clock::now() - lateStart;
    EXPECT_EQ(error.kind(), VisaError::Kind::Timeout);
    EXPECT_GE(waited, 300ms);
    EXPECT_LT(waited, 10000ms);
}

TEST_F(SimSession, AHangUpLosesTheConnectionUntilReopened) {
    auto session = openBoard(8);
    boards.board(8).faults().inject(Fault::CloseConnection, 1);
    session->write("*IDN?");
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto error = FailureOf([&] { session->read(); });
        EXPECT_EQ(error.kind(), VisaError::Kind::ConnectionLost);
        EXPECT_THAT(error.what(), testing::StartsWith("SIM8::INSTR: "));
    }
    auto again = visa::ResourceManager().Open("SIM8::INSTR", 2000ms);
    again->write("*OPC?");
    EXPECT_EQ(again->read(), "1\n");
}

TEST_F(SimSession, ClosedSessionRefusesIoButLeavesTheInstrument) {
    auto session = openBoard(9);
    session->close();
    const auto error = FailureOf([&] { session->write("*RST"); });
    EXPECT_EQ(error.kind(), VisaError::Kind::Closed);
    EXPECT_TRUE(boards.board(9).traffic().received().empty());
}

} // namespace
