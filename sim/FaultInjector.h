#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace sim {

enum class Fault {
    DelayReply,      // each reply becomes available only after the given delay
    DropReply,       // the reply is lost: the query is processed, nothing comes back
    CrLfTerminator,  // replies end with CR LF instead of LF
    Garbage,         // replies are replaced by bytes that are no valid answer (LF-terminated)
    CloseConnection, // the connection is dropped after the next message arrives
    StopAnswering,   // messages are ignored entirely and nothing comes back
};

// Faults armed by tests. Each fault applies to the next `count` messages (queries for reply faults);
// a count of 0 means until cleared. Thread-safe.
class FaultInjector {
public:
    static constexpr int kForever = 0;
    // What a Garbage reply carries before its terminator: no number, no keyword, not even text.
    static constexpr std::string_view kGarbage = "\xfe\xff#?garbage?#\x01";

    void inject(Fault fault, int count = kForever, std::chrono::milliseconds delay = {});
    void clear();

    // Used by the mainframe: true when the fault is armed, consuming one use of it.
    bool consume(Fault fault);
    bool armed(Fault fault) const;
    std::chrono::milliseconds delay() const;

private:
    struct Armed {
        Fault fault;
        int remaining; // 0 = forever
    };
    mutable std::mutex mutex_;
    std::vector<Armed> armed_;
    std::chrono::milliseconds delay_{0};
};

} // namespace sim
