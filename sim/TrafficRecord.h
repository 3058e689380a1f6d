#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

// Every message the mainframe received and every reply it sent, in order, with times. Thread-safe.
class TrafficRecord {
public:
    enum class Direction { Received, Sent };
    struct Entry {
        Direction direction;
        std::string text; // a received message without its terminator; a sent reply as on the wire
        std::chrono::steady_clock::time_point time;
    };

    void add(Direction direction, std::string text);
    std::vector<Entry> entries() const;
    std::vector<std::string> received() const; // the messages only, in order
    std::vector<std::string> sent() const;     // the replies only, in order
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

} // namespace sim
