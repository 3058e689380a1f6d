// Fibers of one loop: each waits for its own descriptors and its own time, and none holds up another;
// what fails on a fiber reaches the loop's owner, and what would block the loop's thread is refused.
#include "base/FiberLoop.h"

#include "base/FiberGuard.h"
#include "base/FiberThread.h"
#include "base/FileDescriptor.h"
#include "base/LineWriter.h"
#include "base/WaitCondition.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mutex>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Pipe {
    base::FileDescriptor readEnd;
    base::FileDescriptor writeEnd;
    Pipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe2 failed");
        readEnd.reset(fds[0]);
        writeEnd.reset(fds[1]);
    }
    void put() const { ASSERT_EQ(::write(writeEnd.get(), "x", 1), 1); }
};

TEST(FiberLoop, EachFiberResumesWhenItsOwnDescriptorIsReady) {
    base::FiberLoop loop;
    std::vector<Pipe> pipes(3);
    std::vector<int> order;
    for (int i = 0; i < 3; ++i)
        loop.post([&, i] {
            EXPECT_TRUE(base::FiberLoop::inFiber());
            EXPECT_TRUE(pipes[i].readEnd.waitFor(POLLIN, base::Deadline(5s)));
            order.push_back(i);
        });
    loop.post([&] {
        for (int i = 2; i >= 0; --i) {
            base::FiberLoop::sleepFor(10ms);
            pipes[i].put();
        }
    });
    loop.run();
    EXPECT_EQ(order, (std::vector<int>{2, 1, 0}));
    EXPECT_FALSE(base::FiberLoop::inFiber());
}

TEST(FiberLoop, TimeOutsRunSideBySideAndNoneEndsEarly) {
    // Ten silent waits of 100 ms, against one alone in the same run: side by side they take about as
    // long; one after another they would take ten times as long.
    const auto waitOn = [](std::vector<Pipe>& silent, std::vector<int>& results,
                           std::vector<Clock::duration>& waited) {
        base::FiberLoop loop;
        for (auto& pipe : silent)
            loop.post([&] {
                const auto begin = Clock::now();
                pollfd entry{pipe.readEnd.get(), POLLIN, 0};
                results.push_back(base::FiberLoop::poll(&entry, 1, 100));
                waited.push_back(Clock::now() - begin);
            });
        const auto start = Clock::now();
        loop.run();
        return Clock::now() - start;
    };
    std::vector<Pipe> one(1), ten(10);
    std::vector<int> results;
    std::vector<Clock::duration> waited;
    const auto alone = waitOn(one, results, waited);
    const auto together = waitOn(ten, results, waited);
    EXPECT_EQ(results, std::vector<int>(11, 0));
    for (const auto duration : waited)
        EXPECT_GE(duration, 100ms);
    EXPECT_LT(together, 5 * alone) << "one after another they would take ten times as long";
}

TEST(FiberLoop, AWaitOnSeveralDescriptorsSaysWhichAreReady) {
    base::FiberLoop loop;
    Pipe quiet, written;
    written.put();
    pollfd entries[3] = {{quiet.readEnd.get(), POLLIN, 0},
                         {written.readEnd.get(), POLLIN, 0},
                         {quiet.writeEnd.get(), POLLOUT, 0}};
    int ready = -1;
    loop.post([&] { ready = base::FiberLoop::poll(entries, 3, 5000); });
    loop.run();
    EXPECT_EQ(ready, 2);
    EXPECT_EQ(entries[0].revents, 0);
    EXPECT_EQ(entries[1].revents, POLLIN);
    EXPECT_EQ(entries[2].revents, POLLOUT);
}

TEST(FiberLoop, AnExceptionLeavesRunOnceTheOtherFibersHaveEnded) {
    base::FiberLoop loop;
    bool finished = false;
    loop.post([] {
        base::FiberLoop::sleepFor(5ms);
        throw std::runtime_error("lost");
    });
    loop.post([&] {
        base::FiberLoop::sleepFor(30ms);
        finished = true;
    });
    EXPECT_THROW(loop.run(), std::runtime_error);
    EXPECT_TRUE(finished);
    // The loop is usable again afterwards, its stacks reused.
    loop.post([&] { finished = false; });
    loop.run();
    EXPECT_FALSE(finished);
}

TEST(FiberThread, RunsWhatOtherThreadsAndItsFibersPostUntilItGoes) {
    std::atomic<int> ran{0};
    std::mutex mutex;
    base::WaitCondition allRan;
    {
        base::FiberThread fibers;
        std::vector<std::thread> posters;
        for (int t = 0; t < 4; ++t)
            posters.emplace_back([&] {
                for (int i = 0; i < 25; ++i)
                    fibers.loop().post([&] {
                        base::FiberLoop::sleepFor(1ms);
                        fibers.loop().post([&] {
                            const std::lock_guard lock(mutex);
                            ++ran;
                            allRan.notifyAll();
                        });
                    });
            });
        for (auto& poster : posters)
            poster.join();
        std::unique_lock lock(mutex);
        const auto deadline = Clock::now() + 10s;
        while (ran < 100 && allRan.waitUntil(lock, deadline)) {
        }
    }
    EXPECT_EQ(ran, 100);
}

TEST(FiberLoop, StopEndsARunThatWaitsForWorkOnceItsFibersHaveEnded) {
    base::FiberLoop loop;
    Pipe gate;
    bool fiberEnded = false;
    loop.post([&] {
        EXPECT_TRUE(gate.readEnd.waitFor(POLLIN, base::Deadline(10s)));
        fiberEnded = true;
    });
    std::thread runner([&] { loop.run(true); });
    loop.stop(); // the fiber still waits: run() goes on until it ends
    gate.put();
    runner.join();
    EXPECT_TRUE(fiberEnded);
    // With nothing left, a stopped loop returns at once, even asked to wait for work.
    loop.run(true);
}

// A signal handled while the loop's thread waits makes ::poll fail with EINTR; the fibers never see it.
std::atomic<int> signalsHandled{0};
extern "C" void countSignal(int) {
    ++signalsHandled;
}

TEST(FiberLoop, ASignalDoesNotEndAFibersWait) {
    struct sigaction action {};
    action.sa_handler = countSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: the loop's poll is interrupted
    struct sigaction previous {};
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
    base::FiberLoop loop;
    Pipe data;
    int ready = -1;
    short revents = 0;
    loop.post([&] {
        pollfd entry{data.readEnd.get(), POLLIN, 0};
        ready = base::FiberLoop::poll(&entry, 1, -1);
        revents = entry.revents;
    });
    std::thread runner([&] { loop.run(); });
    signalsHandled = 0;
    for (int sent = 1; sent <= 3; ++sent) {
        pthread_kill(runner.native_handle(), SIGUSR1);
        while (signalsHandled < sent)
            std::this_thread::yield();
    }
    data.put();
    runner.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_GE(signalsHandled, 3);
    EXPECT_EQ(ready, 1);
    EXPECT_EQ(revents, POLLIN);
}

TEST(FiberLoop, EveryFailureReachesTheOwner) {
    base::FiberLoop loop;
    for (const char* what : {"first", "second", "third"})
        loop.post([what] {
            base::FiberLoop::sleepFor(1ms);
            throw std::runtime_error(what);
        });
    std::vector<std::string> messages;
    try {
        loop.run();
        ADD_FAILURE() << "run() returned";
    } catch (const base::FiberFailures& e) {
        for (const auto& failure : e.failures()) {
            try {
                std::rethrow_exception(failure);
            } catch (const std::runtime_error& one) {
                messages.emplace_back(one.what());
            }
        }
        EXPECT_THAT(e.what(), testing::HasSubstr("3 tasks failed"));
    }
    std::sort(messages.begin(), messages.end());
    EXPECT_EQ(messages, (std::vector<std::string>{"first", "second", "third"}));
}

TEST(FiberThread, AFibersExceptionReachesWhoeverJoinsTheThread) {
    base::FiberThread fibers;
    fibers.loop().post([] { throw std::runtime_error("lost on the loop's thread"); });
    EXPECT_THROW(
        try { fibers.join(); } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "lost on the loop's thread");
            throw;
        },
        std::runtime_error);
}

TEST(FiberThread, AFailureNotJoinedForIsReported) {
    std::vector<std::string> reported;
    {
        base::FiberThread fibers([&](std::exception_ptr failure) {
            try {
                std::rethrow_exception(failure);
            } catch (const std::exception& e) {
                reported.emplace_back(e.what());
            }
        });
        fibers.loop().post([] { throw std::runtime_error("said at the end"); });
    }
    EXPECT_EQ(reported, std::vector<std::string>{"said at the end"});
}

TEST(WaitCondition, AFiberWaitingIsResumedByANotificationFromAnotherThread) {
    std::mutex mutex;
    base::WaitCondition condition;
    bool released = false;
    bool sawRelease = false;
    std::size_t waiting = 0;
    base::FiberLoop loop;
    loop.post([&] {
        std::unique_lock lock(mutex);
        while (!released && condition.waitUntil(lock, Clock::now() + 60s)) {
        }
        sawRelease = released;
    });
    std::thread runner([&] { loop.run(); });
    {
        // Observable: the fiber has registered its wait.
        std::unique_lock lock(mutex);
        for (int spins = 0; condition.waiting() == 0 && spins < 10'000'000; ++spins) {
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
        }
        waiting = condition.waiting();
        released = true;
        condition.notifyAll();
    }
    runner.join();
    EXPECT_EQ(waiting, 1u);
    EXPECT_TRUE(sawRelease);
}

TEST(WaitCondition, AFiberWaitEndsAtItsDeadlineWhileOthersRun) {
    std::mutex mutex;
    base::WaitCondition condition;
    base::FiberLoop loop;
    bool timedOut = false;
    int otherTurns = 0;
    loop.post([&] {
        std::unique_lock lock(mutex);
        timedOut = !condition.waitUntil(lock, Clock::now() + 50ms);
    });
    loop.post([&] {
        for (int i = 0; i < 3; ++i, ++otherTurns)
            base::FiberLoop::sleepFor(1ms);
    });
    loop.run();
    EXPECT_TRUE(timedOut);
    EXPECT_EQ(otherTurns, 3);
}

using FiberLoopDeathTest = testing::Test;

void recurse(int depth) {
    volatile char frame[1024];
    for (auto& byte : frame)
        byte = static_cast<char>(depth);
    if (depth > 0)
        recurse(depth - 1);
    frame[0] = frame[1]; // keeps the frame live across the call
}

TEST_F(FiberLoopDeathTest, AStackOverflowHitsTheGuardPage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Four times the stack's size in frames: the guard page below it stops the fiber at the first one
    // past its end.
    const int depth = static_cast<int>(4 * base::FiberLoop::kStackBytes / 1024);
    EXPECT_DEATH(
        {
            base::FiberLoop loop;
            loop.post([depth] { recurse(depth); });
            loop.run();
        },
        "");
}

TEST_F(FiberLoopDeathTest, ABlockingCallOnAFiberIsRefusedByName) {
    if (!base::fiberChecksEnabled())
        GTEST_SKIP() << "a Release build does not check";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            base::FiberLoop loop;
            loop.post([] {
                base::LineWriter writer{base::FileDescriptor(::dup(STDERR_FILENO))};
                writer.flush();
            });
            loop.run();
        },
        "LineWriter::flush would block the thread of a fiber loop");
    // Off a fiber the same call is allowed.
    base::LineWriter writer{base::FileDescriptor(::dup(STDERR_FILENO))};
    writer.flush();
}

} // namespace
