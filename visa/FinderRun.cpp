#include "visa/FinderRun.h"

#include "base/Milliseconds.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace visa {
namespace {

// What the finder threads share with the call that started them. It outlives the call when a finder
// overruns, which is why the threads hold it and not the call's sink directly.
struct FindGate {
    std::mutex mutex;
    std::condition_variable changed;
    FindSink* sink = nullptr; // null once the call has returned
    std::size_t running = 0;
    std::set<std::string> ended;
    std::set<std::string> saidUnavailable;

    void unavailable(const std::string& finder, const std::string& reason) {
        if (sink != nullptr && saidUnavailable.insert(finder).second)
            sink->unavailable(finder, reason);
    }
};

class GateSink : public FindSink {
public:
    GateSink(std::shared_ptr<FindGate> gate, std::string name)
        : gate_(std::move(gate)), name_(std::move(name)) {}

    void found(const FoundResource& resource) override {
        const std::lock_guard lock(gate_->mutex);
        if (gate_->sink != nullptr)
            gate_->sink->found(resource);
    }
    void unavailable(const std::string& /*finder*/, const std::string& reason) override {
        const std::lock_guard lock(gate_->mutex);
        gate_->unavailable(name_, reason);
    }

private:
    std::shared_ptr<FindGate> gate_;
    std::string name_;
};

void runOne(const std::shared_ptr<FindGate>& gate, const RegisteredFinder& finder,
            const FindOptions& options) {
    GateSink sink(gate, finder.name);
    try {
        finder.find(options, sink);
    } catch (const std::exception& error) {
        // A finder is not to throw; one that does still must not take the others with it.
        sink.unavailable(finder.name, std::string("failed: ") + error.what());
    } catch (...) {
        sink.unavailable(finder.name, "failed");
    }
    const std::lock_guard lock(gate->mutex);
    gate->ended.insert(finder.name);
    --gate->running;
    gate->changed.notify_all();
}

} // namespace

void runFinders(const std::vector<RegisteredFinder>& finders, const FindOptions& options, FindSink& sink) {
    auto gate = std::make_shared<FindGate>();
    gate->sink = &sink;
    const auto endBy = std::chrono::steady_clock::now() + options.window + kFinderOverrun;
    for (const auto& finder : finders) {
        if (!finder.find)
            continue;
        {
            const std::lock_guard lock(gate->mutex);
            ++gate->running;
        }
        try {
            std::thread(runOne, gate, finder, options).detach();
        } catch (const std::system_error& error) {
            const std::lock_guard lock(gate->mutex);
            --gate->running;
            gate->ended.insert(finder.name);
            gate->unavailable(finder.name, std::string("cannot start a thread: ") + error.what());
        }
    }
    std::unique_lock lock(gate->mutex);
    gate->changed.wait_until(lock, endBy, [&] { return gate->running == 0; });
    for (const auto& finder : finders)
        if (finder.find && gate->ended.count(finder.name) == 0)
            gate->unavailable(finder.name,
                              "did not finish within " + base::milliseconds(options.window + kFinderOverrun));
    gate->sink = nullptr;
}

} // namespace visa
