#include "python/RackRun.h"

#include "base/FiberLoop.h"
#include "visa/Transport.h"

#include <algorithm>

namespace pybinding {
namespace {

bool runsOnFiber(const std::string& resource) {
    const auto facts = visa::transportFacts(resource);
    return facts && facts->waitsThroughLoop;
}

} // namespace

RackRun::RackRun(const std::vector<std::string>& resources, std::size_t jobs,
                 std::function<void(std::size_t)> work)
    : work_(std::move(work)),
      coordinator_([this, resources, jobs] { run(resources, std::max<std::size_t>(jobs, 1)); }) {}

RackRun::~RackRun() {
    coordinator_.join();
}

bool RackRun::waitFor(std::chrono::milliseconds limit) {
    std::unique_lock hold(mutex_);
    return ended_.wait_for(hold, limit, [this] { return done_; });
}

void RackRun::workThrough(const std::vector<std::size_t>& list, std::atomic<std::size_t>& next) {
    for (std::size_t k = next++; k < list.size() && !stopped_; k = next++)
        work_(list[k]);
}

void RackRun::run(const std::vector<std::string>& resources, std::size_t jobs) {
    std::vector<std::size_t> onSockets, others;
    for (std::size_t i = 0; i < resources.size(); ++i)
        (runsOnFiber(resources[i]) ? onSockets : others).push_back(i);
    // Each kind gets its share of the jobs by its number, at least one where there is any.
    std::size_t fibers = std::min(jobs, onSockets.size());
    std::size_t threads = std::min(jobs, others.size());
    if (!onSockets.empty() && !others.empty()) {
        fibers = std::clamp<std::size_t>(jobs * onSockets.size() / resources.size(), 1, onSockets.size());
        threads = std::clamp<std::size_t>(jobs - std::min(jobs, fibers), 1, others.size());
    }
    std::atomic<std::size_t> nextOnSocket{0}, nextOther{0};
    std::vector<std::thread> workers;
    for (std::size_t k = 0; k < threads; ++k)
        workers.emplace_back([&] { workThrough(others, nextOther); });
    if (fibers > 0) {
        base::FiberLoop loop;
        for (std::size_t k = 0; k < fibers; ++k)
            loop.post([&] { workThrough(onSockets, nextOnSocket); });
        loop.run();
    }
    for (auto& worker : workers)
        worker.join();
    const std::lock_guard hold(mutex_);
    done_ = true;
    ended_.notify_all();
}

} // namespace pybinding
