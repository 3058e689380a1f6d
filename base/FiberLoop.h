#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <poll.h>

namespace base {

// Runs many conversations on one thread: each task is a fiber with a stack of its own, written as plain
// blocking code, and FiberLoop::poll is where it gives the thread to the others until its descriptors are
// ready or its time-out passes. A rack of instruments then costs one thread and one poll per turn of the
// loop, instead of a thread per instrument that the kernel must wake for every reply; on two cores
// those wake-ups, not the work, were most of the time.
//
// A task must wait only through FiberLoop::poll or FiberLoop::sleepFor (base::FileDescriptor::waitFor
// does): any other blocking call stops every fiber of the loop while it lasts, and a mutex held across a
// wait can deadlock the loop. Code that runs outside a loop is unaffected: there poll is ::poll.
class FiberLoop {
public:
    // Room for the deepest call chain of a task, instrumented builds included; only the pages a task
    // touches are ever backed.
    static constexpr std::size_t kStackBytes = 2 * 1024 * 1024;

    FiberLoop();
    ~FiberLoop();
    FiberLoop(const FiberLoop&) = delete;
    FiberLoop& operator=(const FiberLoop&) = delete;

    // Thread-safe: the task starts on a fiber of its own at the loop's next turn. An exception that
    // leaves a task ends run() with it, once every other fiber has ended.
    void post(std::function<void()> task);
    // Runs the loop on the calling thread: until no task is left, or with untilStopped, until stop().
    // Throws std::system_error when a fiber's stack cannot be mapped.
    void run(bool untilStopped = false);
    // Thread-safe: run(true) returns once the fibers still running have ended.
    void stop();

    // poll(2) for the calling fiber: it sleeps while the loop runs the others, and a signal does not end
    // its wait. Outside a fiber, and for a wait of no time, ::poll. Returns what poll returns.
    static int poll(pollfd* fds, nfds_t count, int timeoutMs);
    static void sleepFor(std::chrono::milliseconds duration);
    // True on a fiber of a running loop.
    static bool inFiber();

    struct State; // the fibers, their stacks and the loop's own context

private:
    std::unique_ptr<State> state_;
};

} // namespace base
