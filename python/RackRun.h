#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pybinding {

// One piece of work per resource of a rack, all at once as pinwright-cli runs them: resources whose
// transport waits through the fiber loop (sockets) are fibers of one loop thread, the others have threads
// of their own, together at most `jobs` at a time, so that a dead or silent mainframe costs its own
// time-outs and delays no other. `work(i)` does resource i and keeps its own result and failure: it
// must not throw. The run starts at once on threads of its own; the destructor waits for it.
class RackRun {
public:
    RackRun(const std::vector<std::string>& resources, std::size_t jobs,
            std::function<void(std::size_t)> work);
    ~RackRun();
    RackRun(const RackRun&) = delete;
    RackRun& operator=(const RackRun&) = delete;

    // Waits at most `limit`; true once every piece begun has ended.
    bool waitFor(std::chrono::milliseconds limit);
    // Begins no further piece; those under way finish.
    void stop() { stopped_ = true; }

private:
    void run(const std::vector<std::string>& resources, std::size_t jobs);
    void workThrough(const std::vector<std::size_t>& list, std::atomic<std::size_t>& next);

    std::function<void(std::size_t)> work_;
    std::atomic<bool> stopped_{false};
    std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    std::thread coordinator_;
};

} // namespace pybinding
