#include "base/WaitCondition.h"

#include <algorithm>

namespace base {

bool WaitCondition::waitUntil(std::unique_lock<std::mutex>& lock, Clock::time_point deadline) {
    ++waiting_;
    if (!FiberLoop::inFiber()) {
        const bool woken = threads_.wait_until(lock, deadline) == std::cv_status::no_timeout;
        --waiting_;
        return woken || Clock::now() < deadline;
    }
    const FiberLoop::Wake wake = FiberLoop::wakeForNextWait();
    fibers_.push_back(wake);
    // Taken again on every way out, the loop's unwinding of this fiber included.
    struct Relock {
        std::unique_lock<std::mutex>& lock;
        WaitCondition& condition;
        const FiberLoop::Wake& wake;
        ~Relock() {
            lock.lock();
            std::erase(condition.fibers_, wake);
            --condition.waiting_;
        }
    };
    lock.unlock();
    const Relock relock{lock, *this, wake};
    return FiberLoop::waitForWake(wake, deadline) || Clock::now() < deadline;
}

void WaitCondition::notifyAll() {
    threads_.notify_all();
    for (const auto& wake : fibers_)
        wake.send();
}

} // namespace base
