#pragma once

#include "base/FiberLoop.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace base {

// A condition variable for state that threads and fibers share under one std::mutex: a thread waits as
// on std::condition_variable, a fiber through its loop (the others of its thread go on meanwhile), and a
// notification from any thread reaches both.
class WaitCondition {
public:
    using Clock = std::chrono::steady_clock;

    // With `lock` held, as std::condition_variable::wait_until: returns with it held again, false when
    // the deadline has passed. A wake-up may be spurious, so check the state again.
    bool waitUntil(std::unique_lock<std::mutex>& lock, Clock::time_point deadline);
    // With the mutex held.
    void notifyAll();
    // Fibers and threads in waitUntil; with the mutex held.
    std::size_t waiting() const { return waiting_; }

private:
    std::condition_variable threads_;
    std::vector<FiberLoop::Wake> fibers_;
    std::size_t waiting_ = 0;
};

} // namespace base
