#include "sim/TrafficRecord.h"

namespace sim {

void TrafficRecord::add(Direction direction, std::string text) {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    entries_.push_back(Entry{direction, std::move(text), now});
}

std::vector<TrafficRecord::Entry> TrafficRecord::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

namespace {

std::vector<std::string> textsOf(const std::vector<TrafficRecord::Entry>& entries,
                                 TrafficRecord::Direction direction) {
    std::vector<std::string> texts;
    for (const auto& entry : entries) {
        if (entry.direction == direction) {
            texts.push_back(entry.text);
        }
    }
    return texts;
}

} // namespace

std::vector<std::string> TrafficRecord::received() const {
    std::lock_guard lock(mutex_);
    return textsOf(entries_, Direction::Received);
}

std::vector<std::string> TrafficRecord::sent() const {
    std::lock_guard lock(mutex_);
    return textsOf(entries_, Direction::Sent);
}

void TrafficRecord::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

} // namespace sim
