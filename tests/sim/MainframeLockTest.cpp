// The mainframe's exclusive lock as its clients see it, whatever their transport: one holder, waits bounded
// by their time-out or ended by their client, the lock gone with its session, and a held-back message run
// in one step with the check that let it through.

#include "base/FiberThread.h"
#include "sim/ClientSession.h"
#include "sim/Mainframe.h"
#include "tests/support/Eventually.h"

#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

using namespace std::chrono_literals;

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;

TEST(MainframeLock, OneHolderWhoseLockGoesWithItsSession) {
    Mainframe mainframe;
    auto holder = std::make_unique<ClientSession>(mainframe);
    ClientSession other(mainframe);
    EXPECT_FALSE(holder->unlock()) << "released a lock it did not hold";
    EXPECT_EQ(mainframe.lockInfo().holders, 0u);
    EXPECT_EQ(holder->lock(0ms), LockOutcome::Granted);
    EXPECT_EQ(holder->lock(0ms), LockOutcome::AlreadyHeld);
    EXPECT_TRUE(holder->holdsLock());
    EXPECT_EQ(mainframe.lockInfo().exclusive, true);
    EXPECT_EQ(mainframe.lockInfo().holders, 1u);
    EXPECT_EQ(other.lock(0ms), LockOutcome::TimedOut);
    EXPECT_FALSE(other.awaitAccess(0ms));
    EXPECT_TRUE(holder->awaitAccess(0ms)) << "the holder was kept out by its own lock";

    auto waiter = std::async(std::launch::async, [&] { return other.lock(20s); });
    ASSERT_TRUE(test_support::eventually([&] { return mainframe.lockWaiters() == 1; }));
    holder.reset();
    EXPECT_EQ(waiter.get(), LockOutcome::Granted) << "the lock stayed with a closed session";
    EXPECT_TRUE(other.holdsLock());
    EXPECT_TRUE(other.unlock());
    EXPECT_EQ(mainframe.lockInfo().holders, 0u);
}

TEST(MainframeLock, AHeldBackMessageRunsOnReleaseOrNotAtAllWhenItsClientGoes) {
    Mainframe mainframe;
    ClientSession holder(mainframe);
    ClientSession other(mainframe);
    ASSERT_EQ(holder.lock(0ms), LockOutcome::Granted);

    // A time-out, and a client that goes away, end the wait without running the message.
    const auto start = Clock::now();
    EXPECT_FALSE(other.receiveWhenUnlocked("DIG:OUTP:DATA 3", 200ms));
    EXPECT_GE(Clock::now() - start, 190ms);
    std::atomic<bool> wanted = true;
    auto gone = std::async(std::launch::async, [&] {
        return other.receiveWhenUnlocked("DIG:OUTP:DATA 4", std::nullopt, [&] { return wanted.load(); });
    });
    ASSERT_TRUE(test_support::eventually([&] { return mainframe.lockWaiters() == 1; }));
    wanted = false;
    EXPECT_EQ(gone.wait_for(20s), std::future_status::ready) << "a wait outlived its client";
    EXPECT_FALSE(gone.get());
    EXPECT_EQ(mainframe.state().outputWord, 0) << "a message that was not let through ran";

    auto held = std::async(std::launch::async,
                           [&] { return other.receiveWhenUnlocked("DIG:OUTP:DATA 5;DATA?", std::nullopt); });
    ASSERT_TRUE(test_support::eventually([&] { return mainframe.lockWaiters() == 1; }));
    EXPECT_EQ(mainframe.state().outputWord, 0) << "let through while locked";
    holder.receive("DIG:OUTP:DATA 2"); // the holder is served meanwhile
    EXPECT_EQ(mainframe.state().outputWord, 2);
    EXPECT_TRUE(holder.unlock());
    EXPECT_TRUE(held.get());
    const auto reply = other.takeReply();
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->bytes, "+5\n");
}

// A client served on a fiber waits for the lock through its loop: the loop's other fibers go on meanwhile,
// and the release, from another thread, resumes it.
TEST(MainframeLock, AFiberWaitingForTheLockIsResumedByTheReleaseAndHoldsUpNoOtherFiber) {
    Mainframe mainframe;
    ClientSession holder(mainframe);
    ASSERT_EQ(holder.lock(0ms), LockOutcome::Granted);
    std::atomic<bool> held = false;
    std::atomic<int> neighbourTurns = 0;
    std::atomic<bool> neighbourDone = false;
    base::FiberThread fibers;
    fibers.loop().post([&] {
        ClientSession waiting(mainframe);
        held = waiting.receiveWhenUnlocked("DIG:OUTP:DATA 6", std::nullopt);
    });
    fibers.loop().post([&] {
        for (; !held && neighbourTurns < 1'000'000; ++neighbourTurns)
            base::FiberLoop::sleepFor(1ms);
        neighbourDone = true;
    });
    ASSERT_TRUE(test_support::eventually([&] { return mainframe.lockWaiters() == 1; }));
    const int turnsBefore = neighbourTurns;
    ASSERT_TRUE(test_support::eventually([&] { return neighbourTurns > turnsBefore + 3; }))
        << "the loop stopped while one of its fibers waited for the lock";
    EXPECT_EQ(mainframe.state().outputWord, 0);
    EXPECT_TRUE(holder.unlock());
    EXPECT_TRUE(test_support::eventually([&] { return held.load(); }));
    EXPECT_EQ(mainframe.state().outputWord, 6);
    EXPECT_TRUE(test_support::eventually([&] { return neighbourDone.load(); }));
    EXPECT_EQ(mainframe.lockWaiters(), 0u);
}

} // namespace
} // namespace sim
