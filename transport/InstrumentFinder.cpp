#include "transport/InstrumentFinder.h"

#include "base/AsciiCase.h"
#include "base/HandOverQueue.h"
#include "base/PrintableText.h"
#include "transport/InstrumentIdentity.h"
#include "transport/InstrumentList.h"
#include "visa/FinderRun.h"
#include "visa/ResourceManager.h"

#include <algorithm>
#include <map>
#include <set>
#include <thread>
#include <variant>

namespace transport {
namespace {

using Clock = std::chrono::steady_clock;

// Broadcast and multicast answers come from anyone on the network; a flood of them is still a bounded list.
constexpr std::size_t kMaxResources = 512;
constexpr std::size_t kMaxResourceChars = 256;
constexpr std::size_t kMaxMethodChars = 40;
constexpr std::size_t kMaxReasonChars = 200;

// An instrument's resources arrive by several methods a few milliseconds apart; its entry is reported
// once its host has been quiet this long, so that it is mostly reported once, whole.
constexpr std::chrono::milliseconds kHostSettle{150};

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

struct Identified {
    visa::FoundResource resource;
    std::optional<InstrumentIdentity> identity;
};
using Event = std::variant<visa::FinderReport, Identified>;

// One run. The finders and the identification workers run on threads of its own and only hand over what
// they learn; the list, its settling and every call of the events are on the thread that called run().
class FindingRun : private visa::FindSink {
public:
    FindingRun(const InstrumentFinderOptions& options, const InstrumentFinderEvents& events,
               std::stop_token stop)
        : options_(options), events_(events), stop_(std::move(stop)) {}

    ~FindingRun() {
        jobs_.close();
        for (auto& worker : workers_)
            worker.join();
    }
    FindingRun(const FindingRun&) = delete;
    FindingRun& operator=(const FindingRun&) = delete;

    std::vector<FoundInstrument> run() {
        std::vector<visa::RegisteredFinder> finders;
        for (auto& finder : visa::ResourceManager::registeredFinders())
            if (options_.includeBuiltIn || finder.type != visa::InterfaceType::Sim)
                finders.push_back(std::move(finder));
        visa::FinderRun finding(finders, options_.window,
                                [this](visa::FinderReport report) { inbox_.push(std::move(report)); });
        const std::stop_callback onStop(stop_, [&] {
            finding.stop();
            jobs_.close();
            inbox_.close();
        });
        while (!stop_.stop_requested() && (finding.anyRunning() || pendingIdentifications_ > 0)) {
            const auto until =
                std::min(finding.anyRunning() ? finding.endBy() : Clock::time_point::max(), nextSettle());
            auto event = until == Clock::time_point::max() ? inbox_.pop() : inbox_.pop(until);
            if (event)
                handle(*event, finding);
            else if (finding.anyRunning() && Clock::now() >= finding.endBy())
                finding.giveUp(*this);
            reportSettled(false);
        }
        if (!stop_.stop_requested())
            reportSettled(true);
        return list_.instruments();
    }

private:
    void handle(Event& event, visa::FinderRun& finding) {
        if (auto* identified = std::get_if<Identified>(&event)) {
            --pendingIdentifications_;
            --pendingHosts_[identified->resource.host];
            file(identified->resource, identified->identity);
            return;
        }
        finding.pass(std::get<visa::FinderReport>(event), *this);
    }

    void found(const visa::FoundResource& announced) override {
        const auto resource = cleaned(announced);
        if (!resource || asked_.size() >= kMaxResources ||
            !asked_.insert(base::asciiLower(resource->resource)).second)
            return;
        if (!resource->host.empty())
            lastHeard_[resource->host] = Clock::now();
        if (!options_.identify || !startWorker()) {
            file(*resource, std::nullopt);
            return;
        }
        ++pendingIdentifications_;
        ++pendingHosts_[resource->host];
        jobs_.push(*resource);
    }

    void unavailable(const std::string& finder, const std::string& reason) override {
        if (!events_.unavailable)
            return;
        events_.unavailable(base::printableText(finder, kMaxMethodChars, base::Unprintable::Question),
                            base::printableText(reason, kMaxReasonChars, base::Unprintable::Question));
    }

    // Whether a worker will take the next job: one more is started while fewer than `parallel` run and
    // each has work; false when none runs and none can start (out of threads: filed unasked).
    bool startWorker() {
        if (workers_.size() < std::max<std::size_t>(options_.parallel, 1) &&
            workers_.size() <= pendingIdentifications_) {
            try {
                workers_.emplace_back([this] { identifyQueued(); });
            } catch (const std::system_error&) {
                // The ones running take the job.
            }
        }
        return !workers_.empty();
    }

    // On a worker's thread: touches nothing but the two queues.
    void identifyQueued() {
        while (auto resource = jobs_.pop()) {
            auto identity = stop_.stop_requested()
                                ? std::nullopt
                                : askIdentity(resource->resource, options_.identifyTimeout);
            inbox_.push(Identified{std::move(*resource), std::move(identity)});
        }
    }

    void file(const visa::FoundResource& resource, const std::optional<InstrumentIdentity>& identity) {
        const auto index = list_.place(
            resource, identity, options_.identify ? IdentitySource::NotIdentified : IdentitySource::NotAsked);
        if (!index)
            return;
        if (unreported_.size() <= *index)
            unreported_.resize(*index + 1, false);
        unreported_[*index] = true;
    }

    // When the next instrument waiting to be reported will have had all its hosts quiet long enough; max
    // when none waits on quiet alone (one whose host has an identification under way is reported as that
    // ends).
    Clock::time_point nextSettle() const {
        auto next = Clock::time_point::max();
        const auto& instruments = list_.instruments();
        for (std::size_t index = 0; index < unreported_.size(); ++index) {
            if (!unreported_[index])
                continue;
            auto settles = Clock::time_point::min();
            for (const auto& resource : instruments[index].resources) {
                if (const auto pending = pendingHosts_.find(resource.host);
                    pending != pendingHosts_.end() && pending->second > 0) {
                    settles = Clock::time_point::max();
                    break;
                }
                if (const auto heard = lastHeard_.find(resource.host); heard != lastHeard_.end())
                    settles = std::max(settles, heard->second + kHostSettle);
            }
            next = std::min(next, settles);
        }
        return next;
    }

    bool hostSettled(const std::string& host, Clock::time_point now) const {
        if (host.empty())
            return true;
        const auto pending = pendingHosts_.find(host);
        const auto heard = lastHeard_.find(host);
        return (pending == pendingHosts_.end() || pending->second <= 0) &&
               (heard == lastHeard_.end() || now - heard->second >= kHostSettle);
    }

    // Reports every changed instrument all of whose hosts have settled, or every one at the end.
    void reportSettled(bool atEnd) {
        const auto now = Clock::now();
        const auto& instruments = list_.instruments();
        for (std::size_t index = 0; index < unreported_.size(); ++index) {
            if (!unreported_[index])
                continue;
            const auto& resources = instruments[index].resources;
            if (!atEnd && !std::all_of(resources.begin(), resources.end(),
                                       [&](const auto& r) { return hostSettled(r.host, now); }))
                continue;
            unreported_[index] = false;
            if (events_.changed)
                events_.changed(index, instruments[index]);
        }
    }

    const InstrumentFinderOptions& options_;
    const InstrumentFinderEvents& events_;
    std::stop_token stop_;

    InstrumentList list_;
    std::vector<bool> unreported_;
    std::set<std::string> asked_;
    std::map<std::string, Clock::time_point> lastHeard_;
    std::map<std::string, int> pendingHosts_;
    std::size_t pendingIdentifications_ = 0;

    base::HandOverQueue<Event> inbox_;
    base::HandOverQueue<visa::FoundResource> jobs_;
    std::vector<std::jthread> workers_; // last: joined before the queues go
};

} // namespace

InstrumentFinder::InstrumentFinder(InstrumentFinderOptions options, InstrumentFinderEvents events)
    : options_(options), events_(std::move(events)) {}

std::vector<FoundInstrument> InstrumentFinder::run(std::stop_token stop) {
    auto instruments = FindingRun(options_, events_, std::move(stop)).run();
    sortForListing(instruments);
    return instruments;
}

} // namespace transport
