#include "sim/FaultInjector.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

void FaultInjector::inject(Fault fault, int count, std::chrono::milliseconds delay) {
    if (count < 0) {
        throw std::invalid_argument("FaultInjector: a fault count cannot be negative");
    }
    if (delay.count() < 0) {
        throw std::invalid_argument("FaultInjector: a reply delay cannot be negative");
    }
    std::lock_guard lock(mutex_);
    std::erase_if(armed_, [fault](const Armed& a) { return a.fault == fault; });
    armed_.push_back(Armed{fault, count});
    if (fault == Fault::DelayReply) {
        delay_ = delay;
    }
}

void FaultInjector::clear() {
    std::lock_guard lock(mutex_);
    armed_.clear();
    delay_ = std::chrono::milliseconds{0};
}

bool FaultInjector::consume(Fault fault) {
    std::lock_guard lock(mutex_);
    const auto it =
        std::find_if(armed_.begin(), armed_.end(), [fault](const Armed& a) { return a.fault == fault; });
    if (it == armed_.end()) {
        return false;
    }
    if (it->remaining != kForever && --it->remaining == 0) {
        armed_.erase(it);
    }
    return true;
}

bool FaultInjector::armed(Fault fault) const {
    std::lock_guard lock(mutex_);
    return std::any_of(armed_.begin(), armed_.end(), [fault](const Armed& a) { return a.fault == fault; });
}

std::chrono::milliseconds FaultInjector::delay() const {
    std::lock_guard lock(mutex_);
    return delay_;
}

} // namespace sim
