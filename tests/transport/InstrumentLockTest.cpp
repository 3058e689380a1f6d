// The instrument object's exclusive lock: one holder at a time on a HiSLIP instrument, a typed refusal
// naming the resource at the lock time-out, release when the holder goes, and an empty holder (nothing
// sent) where the transport has no lock.

#include "sim/HislipServer.h"
#include "sim/Mainframe.h"
#include "sim/SocketServer.h"
#include "transport/Instrument.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using transport::Instrument;

class InstrumentLockTest : public ::testing::Test {
protected:
    std::unique_ptr<Instrument> open(const std::string& resource) {
        transport::OpenOptions options;
        options.timeouts = {1000ms, 500ms};
        return Instrument::open(resource, options);
    }
    std::string hislipResource() const {
        return "TCPIP0::127.0.0.1::hislip0," + std::to_string(hislip.port()) + "::INSTR";
    }

    sim::Mainframe mainframe;
    sim::HislipServer hislip{mainframe};
};

TEST_F(InstrumentLockTest, OneHolderAtATimeAndTheNextIsRefusedNamingTheResource) {
    const auto first = open(hislipResource());
    const auto second = open(hislipResource());
    ASSERT_TRUE(first->canLock());
    {
        auto held = first->lockExclusive(1000ms);
        EXPECT_TRUE(held.held());
        try {
            second->lockExclusive(200ms);
            FAIL() << "a second exclusive lock must not be granted";
        } catch (const transport::LockNotGranted& refused) {
            EXPECT_EQ(refused.resource(), hislipResource());
            EXPECT_NE(refused.reason().find("200 ms"), std::string::npos) << refused.reason();
        }
        EXPECT_TRUE(first->command("DIG:PIN4:FUNC ONC").ok()) << "the holder goes on working";
    }
    // The holder went out of scope: the lock is free again.
    auto taken = second->lockExclusive(200ms);
    EXPECT_TRUE(taken.held());
    taken.release();
    EXPECT_FALSE(taken.held());
    EXPECT_TRUE(first->lockExclusive(200ms).held());
}

TEST_F(InstrumentLockTest, ALockAskedForAtOpenIsTakenBeforeAnyMessageAndHeldToTheClose) {
    auto options = transport::OpenOptions{};
    options.timeouts = {1000ms, 500ms};
    options.exclusiveLock = 1000ms;
    const auto holder = Instrument::open(hislipResource(), options);
    EXPECT_TRUE(holder->holdsLock());
    mainframe.traffic().clear();

    options.exclusiveLock = 200ms;
    EXPECT_THROW(Instrument::open(hislipResource(), options), transport::LockNotGranted);
    EXPECT_TRUE(mainframe.traffic().received().empty()) << "a refused open sends nothing, not even *IDN?";

    holder->close();
    const auto next = Instrument::open(hislipResource(), options);
    EXPECT_TRUE(next->holdsLock()) << "closing the holder released the lock";
}

TEST_F(InstrumentLockTest, ATransportWithoutALockGivesAnEmptyHolderAndSendsNothing) {
    sim::SocketServer socket(mainframe, "127.0.0.1", 0);
    const auto instrument = open("TCPIP0::127.0.0.1::" + std::to_string(socket.port()) + "::SOCKET");
    mainframe.traffic().clear();
    EXPECT_FALSE(instrument->canLock());
    EXPECT_FALSE(instrument->lockExclusive(100ms).held());
    EXPECT_TRUE(mainframe.traffic().received().empty());
    auto options = transport::OpenOptions{};
    options.exclusiveLock = 100ms;
    EXPECT_FALSE(Instrument::open(instrument->resource(), options)->holdsLock()) << "opens as without it";
}

} // namespace
