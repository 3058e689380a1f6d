#include "tangoserver/InputPoller.h"

#include <omnithread.h>

namespace tangoserver {

InputPoller::InputPoller(std::chrono::milliseconds period, std::function<void()> poll)
    : period_(period), poll_(std::move(poll)), thread_([this] { run(); }) {}

InputPoller::~InputPoller() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        stopped_.notifyAll();
    }
    thread_.join();
}

void InputPoller::run() {
    // Tango tells threads apart by their omniORB thread: the device's monitor, taken to push events, needs
    // one for this thread too.
    omni_thread::ensure_self omniThread;
    auto next = base::WaitCondition::Clock::now();
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        next += period_;
        lock.unlock();
        poll_();
        lock.lock();
        // A poll that overran its period starts the next one at once, without a burst to catch up.
        const auto now = base::WaitCondition::Clock::now();
        if (next < now)
            next = now;
        while (!stopping_ && stopped_.waitUntil(lock, next))
            ;
    }
}

} // namespace tangoserver
