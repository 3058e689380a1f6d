// Fibers of one loop: each waits for its own descriptors and its own time, and none holds up another.
#include "base/FiberLoop.h"

#include "base/FiberThread.h"
#include "base/FileDescriptor.h"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdexcept>
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
    base::FiberLoop loop;
    std::vector<Pipe> silent(10);
    std::vector<int> results;
    std::vector<Clock::duration> waited;
    const auto start = Clock::now();
    for (auto& pipe : silent)
        loop.post([&] {
            const auto begin = Clock::now();
            pollfd entry{pipe.readEnd.get(), POLLIN, 0};
            results.push_back(base::FiberLoop::poll(&entry, 1, 100));
            waited.push_back(Clock::now() - begin);
        });
    loop.run();
    EXPECT_EQ(results, std::vector<int>(10, 0));
    for (const auto duration : waited)
        EXPECT_GE(duration, 100ms);
    EXPECT_LT(Clock::now() - start, 600ms) << "one after another they would take a second";
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
    {
        base::FiberThread fibers;
        std::vector<std::thread> posters;
        for (int t = 0; t < 4; ++t)
            posters.emplace_back([&] {
                for (int i = 0; i < 25; ++i)
                    fibers.loop().post([&] {
                        base::FiberLoop::sleepFor(1ms);
                        fibers.loop().post([&] { ++ran; });
                    });
            });
        for (auto& poster : posters)
            poster.join();
        for (int i = 0; i < 500 && ran < 100; ++i)
            std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(ran, 100);
}

} // namespace
