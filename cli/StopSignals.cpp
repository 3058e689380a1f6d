#include "cli/StopSignals.h"

#include <atomic>
#include <thread>

namespace cli {
namespace {

// A signal handler can only reach static storage; a lock-free atomic is safe to set from it.
std::atomic<bool> stopAsked{false};
static_assert(std::atomic<bool>::is_always_lock_free);

constexpr auto kSlice = std::chrono::milliseconds(10);

extern "C" void askToStop(int) {
    stopAsked.store(true);
}

} // namespace

StopSignals::StopSignals() {
    stopAsked.store(false);
    struct sigaction action {};
    action.sa_handler = askToStop;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previousInterrupt_);
    ::sigaction(SIGTERM, &action, &previousTerminate_);
}

StopSignals::~StopSignals() {
    ::sigaction(SIGINT, &previousInterrupt_, nullptr);
    ::sigaction(SIGTERM, &previousTerminate_, nullptr);
}

bool StopSignals::stopRequested() const {
    return stopAsked.load();
}

void StopSignals::sleepFor(std::chrono::milliseconds duration) const {
    const auto end = std::chrono::steady_clock::now() + duration;
    for (auto now = std::chrono::steady_clock::now(); now < end && !stopRequested();
         now = std::chrono::steady_clock::now())
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kSlice, end - now));
}

} // namespace cli
