#include "visa/FinderRun.h"

#include "base/Milliseconds.h"

#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace visa {
namespace {

// What a finder's sink does: hands each call over, named after the finder.
class HandingSink : public FindSink {
public:
    HandingSink(const FinderRun::Deliver& deliver, std::string name)
        : deliver_(deliver), name_(std::move(name)) {}

    void found(const FoundResource& resource) override {
        deliver_({FinderReport::Kind::Found, name_, resource, {}});
    }
    void unavailable(const std::string& /*finder*/, const std::string& reason) override {
        deliver_({FinderReport::Kind::Unavailable, name_, {}, reason});
    }

private:
    const FinderRun::Deliver& deliver_;
    std::string name_;
};

void runOne(const RegisteredFinder& finder, const FindOptions& options, const FinderRun::Deliver& deliver) {
    HandingSink sink(deliver, finder.name);
    try {
        finder.find(options, sink);
    } catch (const std::exception& error) {
        // A finder is not to throw; one that does still must not take the others with it.
        sink.unavailable(finder.name, std::string("failed: ") + error.what());
    } catch (...) {
        sink.unavailable(finder.name, "failed");
    }
    deliver({FinderReport::Kind::Ended, finder.name, {}, {}});
}

} // namespace

bool FindOptions::stopRequested() const {
    if (stopDescriptor < 0)
        return false;
    pollfd entry{stopDescriptor, POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0;
}

FinderRun::FinderRun(const std::vector<RegisteredFinder>& finders, std::chrono::milliseconds window,
                     Deliver deliver)
    : deliver_(std::move(deliver)), stopEvent_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), window_(window),
      endBy_(std::chrono::steady_clock::now() + window + kFinderOverrun) {
    if (!stopEvent_.valid())
        throw std::system_error(errno, std::generic_category(), "cannot make the finders' stop event");
    FindOptions options;
    options.window = window;
    options.stopDescriptor = stopEvent_.get();
    for (const auto& finder : finders) {
        if (!finder.find)
            continue;
        names_.push_back(finder.name);
        running_.insert(finder.name);
        try {
            threads_.emplace_back([this, finder, options] { runOne(finder, options, deliver_); });
        } catch (const std::system_error& error) {
            deliver_({FinderReport::Kind::Unavailable,
                      finder.name,
                      {},
                      std::string("cannot start a thread: ") + error.what()});
            deliver_({FinderReport::Kind::Ended, finder.name, {}, {}});
        }
    }
}

FinderRun::~FinderRun() {
    stop();
    for (auto& thread : threads_)
        thread.join();
}

void FinderRun::pass(const FinderReport& report, FindSink& sink) {
    switch (report.kind) {
    case FinderReport::Kind::Found:
        sink.found(report.resource);
        break;
    case FinderReport::Kind::Unavailable:
        if (saidUnavailable_.insert(report.finder).second)
            sink.unavailable(report.finder, report.reason);
        break;
    case FinderReport::Kind::Ended:
        running_.erase(report.finder);
        break;
    }
}

void FinderRun::giveUp(FindSink& sink) {
    stop();
    for (const auto& finder : running_)
        if (saidUnavailable_.insert(finder).second)
            sink.unavailable(finder, "did not finish within " + base::milliseconds(window_ + kFinderOverrun));
    running_.clear();
}

void FinderRun::stop() {
    if (stopped_.exchange(true))
        return;
    const std::uint64_t one = 1;
    // The event only ever counts up from zero once: this write cannot block or fail for room.
    [[maybe_unused]] const auto written = ::write(stopEvent_.get(), &one, sizeof one);
}

} // namespace visa
