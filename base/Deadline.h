#pragma once

#include <chrono>

namespace base {

// Milliseconds from now until `end` as poll() takes them: rounded up, so that a poll never wakes a hair
// early and spins on a zero wait; 0 once passed, at most INT_MAX. Every wait on a time point counts
// through this one.
int pollMillisecondsUntil(std::chrono::steady_clock::time_point end);

// A point in time that an open, a write or a read must finish by. One deadline spans a whole operation,
// so that retries (several addresses, partial sends, split replies) share one time-out instead of each
// getting a fresh one.
class Deadline {
public:
    using Clock = std::chrono::steady_clock;

    explicit Deadline(std::chrono::milliseconds timeout)
        : timeout_(timeout < std::chrono::milliseconds::zero() ? std::chrono::milliseconds::zero() : timeout),
          end_(Clock::now() + timeout_) {}

    std::chrono::milliseconds timeout() const { return timeout_; }
    bool expired() const { return Clock::now() >= end_; }

    // Rounded up, so that a poll never wakes a hair early and spins on a zero wait.
    std::chrono::milliseconds remaining() const;

    // The remaining time as poll() takes it.
    int pollMilliseconds() const { return pollMillisecondsUntil(end_); }
    Clock::time_point end() const { return end_; }

private:
    std::chrono::milliseconds timeout_;
    Clock::time_point end_;
};

} // namespace base
