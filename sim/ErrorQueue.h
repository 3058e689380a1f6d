#pragma once

#include "sim/ScpiError.h"

#include <cstddef>
#include <deque>

namespace sim {

// The instrument's first-in first-out error queue. When it is full the newest entry is replaced by
// "Queue overflow", so the oldest errors (usually the cause) survive and the reader learns that some
// were lost.
class ErrorQueue {
public:
    static constexpr std::size_t kCapacity = 20;

    void push(const ScpiError& error);
    // The oldest error, removed; "No error" (code 0) when the queue is empty.
    ScpiError pop();
    void clear() { entries_.clear(); }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

private:
    std::deque<ScpiError> entries_;
};

} // namespace sim
