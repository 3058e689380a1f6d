#include "transport/InstrumentFinder.h"

#include "base/PrintableText.h"
#include "transport/InstrumentIdentity.h"
#include "transport/InstrumentList.h"
#include "visa/ResourceManager.h"
#include "visa/ResourceName.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace transport {
namespace {

// Broadcast and multicast answers come from anyone on the network; a flood of them is still a bounded list.
constexpr std::size_t kMaxResources = 512;
constexpr std::size_t kMaxResourceChars = 256;
constexpr std::size_t kMaxMethodChars = 40;
constexpr std::size_t kMaxReasonChars = 200;

// An instrument's resources arrive by several methods a few milliseconds apart; its entry is reported
// once its host has been quiet this long, so that it is mostly reported once, whole.
constexpr std::chrono::milliseconds kHostSettle{150};
constexpr std::chrono::milliseconds kSettleTick{25};

// A LAN finder's resource is built from what a peer announced; one that could not be typed back is left out.
std::optional<visa::FoundResource> cleaned(const visa::FoundResource& resource) {
    if (resource.resource.empty() || resource.resource.size() > kMaxResourceChars ||
        base::printableText(resource.resource, kMaxResourceChars, base::Unprintable::Question) !=
            resource.resource)
        return std::nullopt;
    visa::FoundResource clean = resource;
    clean.host = base::printableText(resource.host, visa::kMaxHostLength, base::Unprintable::Question);
    clean.method = base::printableText(resource.method, kMaxMethodChars, base::Unprintable::Question);
    return clean;
}

// One run: the finders' sink, the identification queue and its workers, and the merged list.
class FindingRun : public visa::FindSink {
public:
    FindingRun(const InstrumentFinderOptions& options, const InstrumentFinderEvents& events,
               std::stop_token stop)
        : options_(options), events_(events), stop_(std::move(stop)) {}

    ~FindingRun() override {
        finishIdentifying();
        if (ticker_.joinable())
            ticker_.join();
    }
    FindingRun(const FindingRun&) = delete;
    FindingRun& operator=(const FindingRun&) = delete;

    void found(const visa::FoundResource& announced) override {
        const auto resource = cleaned(announced);
        const std::lock_guard lock(mutex_);
        if (!resource || asked_.size() >= kMaxResources || !asked_.insert(lowered(resource->resource)).second)
            return;
        if (!resource->host.empty()) {
            lastHeard_[resource->host] = std::chrono::steady_clock::now();
            startTicker();
        }
        if (!options_.identify) {
            file(*resource, std::nullopt);
            return;
        }
        ++pendingHosts_[resource->host];
        jobs_.push_back(*resource);
        startWorker();
        wake_.notify_one();
    }

    void unavailable(const std::string& finder, const std::string& reason) override {
        const std::lock_guard lock(mutex_);
        if (events_.unavailable)
            events_.unavailable(base::printableText(finder, kMaxMethodChars, base::Unprintable::Question),
                                base::printableText(reason, kMaxReasonChars, base::Unprintable::Question));
    }

    std::vector<FoundInstrument> finish() {
        finishIdentifying();
        if (ticker_.joinable())
            ticker_.join();
        const std::lock_guard lock(mutex_);
        finished_ = true;
        reportSettled();
        return list_.instruments();
    }

private:
    static std::string lowered(std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    }

    void startWorker() {
        if (workers_.size() >= std::max<std::size_t>(options_.parallel, 1) ||
            workers_.size() >= jobs_.size() + busy_)
            return;
        try {
            workers_.emplace_back([this] { identifyQueued(); });
        } catch (const std::system_error&) {
            // Out of threads: the ones running take the job; with none, it is filed unasked at the end.
        }
    }

    // Reports the entries whose hosts have settled while nothing else happens to report them.
    void startTicker() {
        if (ticker_.joinable() || closing_)
            return;
        try {
            ticker_ = std::thread([this] {
                std::unique_lock lock(mutex_);
                while (!closing_) {
                    tick_.wait_for(lock, kSettleTick);
                    reportSettled();
                }
            });
        } catch (const std::system_error&) {
            // Without it, the entries are reported as identifications end, and all at the end.
        }
    }

    void identifyQueued() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return !jobs_.empty() || closing_; });
            if (jobs_.empty())
                return;
            const visa::FoundResource resource = std::move(jobs_.front());
            jobs_.pop_front();
            ++busy_;
            lock.unlock();
            std::optional<InstrumentIdentity> identity;
            if (!stop_.stop_requested())
                identity = askIdentity(resource.resource, options_.identifyTimeout);
            lock.lock();
            --busy_;
            --pendingHosts_[resource.host];
            if (!stop_.stop_requested())
                file(resource, identity);
        }
    }

    void finishIdentifying() {
        {
            const std::lock_guard lock(mutex_);
            closing_ = true;
            for (; workers_.empty() && !jobs_.empty(); jobs_.pop_front()) {
                --pendingHosts_[jobs_.front().host];
                file(jobs_.front(), std::nullopt);
            }
        }
        wake_.notify_all();
        tick_.notify_all();
        for (auto& worker : workers_)
            if (worker.joinable())
                worker.join();
    }

    // Called with the mutex held.
    void file(const visa::FoundResource& resource, const std::optional<InstrumentIdentity>& identity) {
        const auto index = list_.place(
            resource, identity, options_.identify ? IdentitySource::NotIdentified : IdentitySource::NotAsked);
        if (!index)
            return;
        if (unreported_.size() <= *index)
            unreported_.resize(*index + 1, false);
        unreported_[*index] = true;
        reportSettled();
    }

    // Called with the mutex held.
    bool hostSettled(const std::string& host, std::chrono::steady_clock::time_point now) const {
        if (host.empty() || finished_)
            return true;
        const auto pending = pendingHosts_.find(host);
        const auto heard = lastHeard_.find(host);
        return (pending == pendingHosts_.end() || pending->second <= 0) &&
               (heard == lastHeard_.end() || now - heard->second >= kHostSettle);
    }

    // Reports every changed instrument all of whose hosts have settled.
    void reportSettled() {
        const auto now = std::chrono::steady_clock::now();
        const auto& instruments = list_.instruments();
        for (std::size_t index = 0; index < unreported_.size(); ++index) {
            if (!unreported_[index])
                continue;
            const auto& resources = instruments[index].resources;
            const bool settled = std::all_of(resources.begin(), resources.end(),
                                             [&](const auto& r) { return hostSettled(r.host, now); });
            if (!settled)
                continue;
            unreported_[index] = false;
            if (events_.changed)
                events_.changed(index, instruments[index]);
        }
    }

    const InstrumentFinderOptions& options_;
    const InstrumentFinderEvents& events_;
    std::stop_token stop_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable tick_;
    std::thread ticker_;
    std::map<std::string, std::chrono::steady_clock::time_point> lastHeard_;
    bool finished_ = false;
    std::set<std::string> asked_;
    std::deque<visa::FoundResource> jobs_;
    std::size_t busy_ = 0;
    bool closing_ = false;
    std::map<std::string, int> pendingHosts_;
    std::vector<std::thread> workers_;
    InstrumentList list_;
    std::vector<bool> unreported_;
};

} // namespace

InstrumentFinder::InstrumentFinder(InstrumentFinderOptions options, InstrumentFinderEvents events)
    : options_(options), events_(std::move(events)) {}

std::vector<FoundInstrument> InstrumentFinder::run(std::stop_token stop) {
    FindingRun run(options_, events_, std::move(stop));
    visa::FindOptions find;
    find.window = options_.window;
    visa::ResourceManager::FindResources(find, run);
    return run.finish();
}

} // namespace transport
