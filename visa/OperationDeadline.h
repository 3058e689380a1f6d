#pragma once

#include <algorithm>
#include <chrono>

namespace visa {

// The end of one write or read. A reply may arrive in several pieces, each a separate call into the
// driver; each piece may only wait for what is left of the operation's time-out, so that the whole
// read stays within it.
class OperationDeadline {
public:
    using Clock = std::chrono::steady_clock;

    explicit OperationDeadline(std::chrono::milliseconds timeout)
        : timeout_(timeout), end_(Clock::now() + timeout) {}

    std::chrono::milliseconds timeout() const { return timeout_; }

    // What is left, rounded up to whole milliseconds, never negative.
    std::chrono::milliseconds remaining() const {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - Clock::now());
        return std::max(left, std::chrono::milliseconds{0});
    }

    bool expired() const { return Clock::now() >= end_; }

private:
    std::chrono::milliseconds timeout_;
    Clock::time_point end_;
};

} // namespace visa
