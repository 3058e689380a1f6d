#pragma once

#include "base/FileDescriptor.h"
#include "visa/ResourceManager.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <thread>
#include <vector>

namespace visa {

// How long past the window a finder may take before it is told to stop and left out.
inline constexpr std::chrono::milliseconds kFinderOverrun{500};

// What one finder said, as handed over to the thread that consumes it.
struct FinderReport {
    enum class Kind { Found, Unavailable, Ended };
    Kind kind = Kind::Ended;
    std::string finder;
    FoundResource resource; // Found
    std::string reason;     // Unavailable
};

// Runs finders at once, each on a thread this object owns and joins when it goes. Every report, the
// last of each finder being Ended, goes to `deliver` on the finder's thread: deliver only hands it over
// (a base::HandOverQueue), it never calls further. A finder that cannot start is reported unavailable
// and ended at once, on the constructing thread.
class FinderRun {
public:
    using Deliver = std::function<void(FinderReport report)>;

    FinderRun(const std::vector<RegisteredFinder>& finders, std::chrono::milliseconds window,
              Deliver deliver);
    // Stops the finders still running and joins them.
    ~FinderRun();
    FinderRun(const FinderRun&) = delete;
    FinderRun& operator=(const FinderRun&) = delete;

    // Thread-safe: every finder's waits end, and each returns soon after.
    void stop();
    // The names of the finders run, in their order.
    const std::vector<std::string>& names() const { return names_; }
    // When a finder still running is past its window and overrun.
    std::chrono::steady_clock::time_point endBy() const { return endBy_; }

    // On the consuming thread only: passes a report to the sink (each finder said unavailable at most
    // once) or notes that its finder ended.
    void pass(const FinderReport& report, FindSink& sink);
    // Whether a finder has not ended, as far as the reports passed say.
    bool anyRunning() const { return !running_.empty(); }
    // Past endBy(): stops the run and names every finder that has not ended as overrunning.
    void giveUp(FindSink& sink);

private:
    Deliver deliver_;
    base::FileDescriptor stopEvent_; // readable once stop() was called: finders poll it with their sockets
    std::atomic<bool> stopped_{false};
    std::vector<std::string> names_;
    std::chrono::milliseconds window_;
    std::chrono::steady_clock::time_point endBy_;
    std::set<std::string> running_;         // the consumer's book
    std::set<std::string> saidUnavailable_; // the consumer's book
    std::vector<std::jthread> threads_;     // last: joined before anything they use goes
};

} // namespace visa
