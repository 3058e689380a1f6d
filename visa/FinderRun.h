#pragma once

#include "base/FileDescriptor.h"
#include "visa/ResourceManager.h"

#include <atomic>
#include <chrono>
#include <functional>
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

private:
    Deliver deliver_;
    base::FileDescriptor stopEvent_; // readable once stop() was called: finders poll it with their sockets
    std::atomic<bool> stopped_{false};
    std::vector<std::string> names_;
    std::chrono::steady_clock::time_point endBy_;
    std::vector<std::jthread> threads_; // last: joined before anything they use goes
};

} // namespace visa
