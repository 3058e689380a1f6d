#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

// The most recent messages the mainframe received and replies it sent, in order, with times. A
// simulator that runs for days must not grow with its traffic, so the record keeps at most
// maxEntries entries and maxBytes of text; older entries make room and are counted as dropped.
// Thread-safe.
class TrafficRecord {
public:
    static constexpr std::size_t kDefaultMaxEntries = 4096;
    static constexpr std::size_t kDefaultMaxBytes = 1024 * 1024;

    enum class Direction { Received, Sent };
    struct Entry {
        Direction direction;
        std::string text; // a received message without its terminator; a sent reply as on the wire
        std::chrono::steady_clock::time_point time;
    };

    explicit TrafficRecord(std::size_t maxEntries = kDefaultMaxEntries,
                           std::size_t maxBytes = kDefaultMaxBytes);

    // A text longer than the whole byte budget is kept cut to that budget.
    void add(Direction direction, std::string text);
    std::vector<Entry> entries() const;
    std::vector<std::string> received() const; // the messages only, in order
    std::vector<std::string> sent() const;     // the replies only, in order
    // How many entries were pushed out to keep within the bounds since the last clear().
    std::uint64_t dropped() const;
    // Bytes of text held now.
    std::size_t bytes() const;
    void clear();

private:
    const std::size_t maxEntries_;
    const std::size_t maxBytes_;
    mutable std::mutex mutex_;
    std::deque<Entry> entries_;
    std::size_t bytes_ = 0;
    std::uint64_t dropped_ = 0;
};

} // namespace sim
