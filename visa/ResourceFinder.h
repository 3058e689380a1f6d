#pragma once

// Finding instruments the way they are opened: each transport contributes a finder, registered beside
// its backend, and the resource manager runs them all at once. A finder reports what it sees as it sees
// it; identifying and merging what was found is done above the finders.

#include <chrono>
#include <functional>
#include <string>

namespace visa {

// One resource seen by one finder. The identity fields are filled where the finding method carries them
// (an mDNS TXT record, a USB descriptor); empty otherwise.
struct FoundResource {
    std::string resource; // a resource string that ResourceManager::Open accepts as it stands
    std::string method;   // how it was found, in a few words: "VXI-11 broadcast", "mDNS", "USBTMC", ...
    std::string host;     // the address or host name behind a LAN resource; empty for the others
    std::string manufacturer;
    std::string model;
    std::string serial;
};

struct FindOptions {
    // How long a finder that listens for answers (broadcast, multicast) keeps listening.
    std::chrono::milliseconds window{1000};
    // Readable once the run wants its finders to stop (-1: nothing will ask). A finder's waits include it,
    // and a finder returns soon after it becomes readable, whatever it was waiting for.
    int stopDescriptor = -1;

    bool stopRequested() const;
};

// Where a finder reports. Both calls come from the finder's own thread, until the finder returns.
class FindSink {
public:
    virtual ~FindSink() = default;
    virtual void found(const FoundResource& resource) = 0;
    // The finder cannot run here at all (no interface with a broadcast address, no GPIB library): said
    // once, with the finder's name ("VXI-11 broadcast") and the reason, and not a failure of the others.
    virtual void unavailable(const std::string& finder, const std::string& reason) = 0;
};

// Runs one finding method to its end (at most about options.window, sooner on a stop request) and reports
// through the sink. Never throws: whatever goes wrong is either unavailable() or, for one answer, silently
// skipped.
using ResourceFinder = std::function<void(const FindOptions& options, FindSink& sink)>;

} // namespace visa
