#pragma once

#include <chrono>
#include <cstddef>
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
    // The habits of instruments that parse less than SCPI allows, for as long as they are armed:
    RefuseRootSpecifier, // a message unit that starts with ':' is an undefined header (-113)
    OneUnitPerMessage,   // only a message's first unit runs; the rest is a syntax error (-102)
    SmallInputBuffer,    // only units that end within a message's first kSmallInputBuffer bytes run (-363)
};

// Faults armed by tests, or by pinwright-sim's options. Each fault applies to the next `count` messages
// (queries for reply faults); a count of 0 means until cleared. A habit applies while armed, whatever its
// count. Thread-safe.
class FaultInjector {
public:
    static constexpr int kForever = 0;
    // What a Garbage reply carries before its terminator: no number, no keyword, not even text.
    static constexpr std::string_view kGarbage = "\xfe\xff#?garbage?#\x01";
    // The input buffer of an instrument with the SmallInputBuffer habit, in bytes of a message without
    // its terminator.
    static constexpr std::size_t kSmallInputBuffer = 64;

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
