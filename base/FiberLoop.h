#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <vector>

namespace base {

// Runs many conversations on one thread: each task is a fiber with a stack of its own, written as plain
// blocking code, and FiberLoop::poll is where it gives the thread to the others until its descriptors are
// ready or its time-out passes. A rack of instruments then costs one thread and one poll per turn of the
// loop, instead of a thread per instrument that the kernel must wake for every reply; on two cores
// those wake-ups, not the work, were most of the time.
//
// The engine's one rule: a task waits only through the loop (FiberLoop::poll, sleepFor,
// base::FileDescriptor::waitFor, base::WaitCondition); any other blocking call stops every fiber of the
// loop while it lasts, and a mutex held across a wait can deadlock the loop. The blocking helpers that
// cannot wait through the loop call base::assertNotOnFiber (base/FiberGuard.h). Code that runs outside a
// loop is unaffected: there poll is ::poll.
class FiberLoop {
public:
    using Clock = std::chrono::steady_clock;
    struct State; // the fibers, their stacks and the loop's own context

    // Room for the deepest call chain of a task, instrumented builds included; only the pages a task
    // touches are ever backed. A guard page below each stack turns an overflow into a fault.
    static constexpr std::size_t kStackBytes = 2 * 1024 * 1024;

    FiberLoop();
    ~FiberLoop();
    FiberLoop(const FiberLoop&) = delete;
    FiberLoop& operator=(const FiberLoop&) = delete;

    // Thread-safe: the task starts on a fiber of its own at the loop's next turn. An exception that
    // leaves a task ends run() with it, once every other fiber has ended (see run()).
    void post(std::function<void()> task);
    // Runs the loop on the calling thread: until no task is left, or with untilStopped, until stop().
    // Then rethrows what left a task: the exception itself when one task failed, FiberFailures (which
    // keeps every one) when several did. A stack that cannot be mapped counts as a failed task.
    void run(bool untilStopped = false);
    // Thread-safe: run(true) returns once the fibers still running have ended.
    void stop();

    // poll(2) for the calling fiber: it sleeps while the loop runs the others, and a signal does not end
    // its wait. Outside a fiber, and for a wait of no time, ::poll. Returns what poll returns.
    static int poll(pollfd* fds, nfds_t count, int timeoutMs);
    static void sleepFor(std::chrono::milliseconds duration);
    // True on a fiber of a running loop.
    static bool inFiber();

    // A wake-up that any thread may send to one wait of a fiber (base::WaitCondition uses it): take one
    // with wakeForNextWait(), publish it where the waker finds it, then waitForWake(). A wake sent
    // between the two is not lost; one sent after the wait has ended is ignored.
    class Wake {
    public:
        void send() const;
        bool operator==(const Wake&) const = default;

    private:
        friend class FiberLoop;
        State* loop_ = nullptr;
        std::uint64_t wait_ = 0;
    };
    // On a fiber only.
    static Wake wakeForNextWait();
    // True when woken, false when the deadline (nullopt: none) passed first.
    static bool waitForWake(const Wake& wake, std::optional<Clock::time_point> deadline);

private:
    std::unique_ptr<State> state_;
};

// What run() throws when more than one task failed: the first one's message in what(), and every one.
class FiberFailures : public std::runtime_error {
public:
    explicit FiberFailures(std::vector<std::exception_ptr> failures);
    const std::vector<std::exception_ptr>& failures() const { return failures_; }

private:
    std::vector<std::exception_ptr> failures_;
};

} // namespace base
