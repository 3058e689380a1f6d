#include "sim/ErrorQueue.h"

namespace sim {

void ErrorQueue::push(const ScpiError& error) {
    if (entries_.size() < kCapacity) {
        entries_.push_back(error);
        return;
    }
    entries_.back() = errors::kQueueOverflow;
}

ScpiError ErrorQueue::pop() {
    if (entries_.empty()) {
        return ScpiError{0, "No error"};
    }
    const ScpiError oldest = entries_.front();
    entries_.pop_front();
    return oldest;
}

} // namespace sim
