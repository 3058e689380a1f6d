#pragma once

#include "transport/FoundInstrument.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace transport {

struct InstrumentFinderOptions {
    std::chrono::milliseconds window{1000};         // how long the finders listen for answers
    bool identify = true;                           // ask every resource *IDN?
    std::chrono::milliseconds identifyTimeout{500}; // for opening one resource and its answer together
    std::size_t parallel = 16;                      // identifications at once
    bool includeBuiltIn = true;                     // run the finders of the built-in simulated mainframe
};

// What a finding run tells as it goes. The calls come on the thread that called run(), with no lock held.
struct InstrumentFinderEvents {
    // An instrument is seen for the first time (index is the next one) or has changed (another resource,
    // its identity). An instrument on the LAN is reported once its host has been quiet for a moment (no
    // identification under way, no new resource), so that it is mostly reported once, whole.
    std::function<void(std::size_t index, const FoundInstrument& instrument)> changed;
    // A finder cannot run here (named once, with the reason).
    std::function<void(const std::string& finder, const std::string& reason)> unavailable;
};

// Finds instruments: runs every finder the resource manager has, asks each resource found *IDN? (a bounded
// number at once, each with a short time-out) while the finders still listen, and merges the resources
// per instrument (InstrumentList). The finders and identifications run on threads of the run's own, all
// joined before run() returns: nothing it started outlives it.
class InstrumentFinder {
public:
    InstrumentFinder(InstrumentFinderOptions options, InstrumentFinderEvents events);

    // The whole list, in listing order (sortForListing), once every finder and identification has ended:
    // at most the window, its overrun and one identification's time-out. A stop request ends the finders'
    // waits and skips the identifications not yet begun; one under way ends within its time-out, and
    // nothing more is reported.
    std::vector<FoundInstrument> run(std::stop_token stop = {});

private:
    InstrumentFinderOptions options_;
    InstrumentFinderEvents events_;
};

} // namespace transport
