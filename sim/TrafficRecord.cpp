#include "sim/TrafficRecord.h"

#include <algorithm>

namespace sim {

TrafficRecord::TrafficRecord(std::size_t maxEntries, std::size_t maxBytes)
    : maxEntries_(std::max<std::size_t>(maxEntries, 1)), maxBytes_(maxBytes) {}

void TrafficRecord::add(Direction direction, std::string text) {
    const auto now = std::chrono::steady_clock::now();
    if (text.size() > maxBytes_) {
        text.resize(maxBytes_);
        text.shrink_to_fit();
    }
    std::lock_guard lock(mutex_);
    while (!entries_.empty() && (entries_.size() >= maxEntries_ || bytes_ + text.size() > maxBytes_)) {
        bytes_ -= entries_.front().text.size();
        entries_.pop_front();
        ++dropped_;
    }
    bytes_ += text.size();
    entries_.push_back(Entry{direction, std::move(text), now});
}

std::vector<TrafficRecord::Entry> TrafficRecord::entries() const {
    std::lock_guard lock(mutex_);
    return {entries_.begin(), entries_.end()};
}

namespace {

std::vector<std::string> textsOf(const std::deque<TrafficRecord::Entry>& entries,
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

std::uint64_t TrafficRecord::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

std::size_t TrafficRecord::bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

void TrafficRecord::clear() {
    std::lock_guard lock(mutex_);
    // A fresh deque gives its blocks back; clear() alone would keep them.
    std::deque<Entry>().swap(entries_);
    bytes_ = 0;
    dropped_ = 0;
}

} // namespace sim
