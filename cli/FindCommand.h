#pragma once

#include <chrono>
#include <ostream>

namespace cli {

struct FindCommandOptions {
    bool json = false;                      // one JSON array at the end instead of a line per instrument
    std::chrono::milliseconds window{1000}; // how long the finders listen
    bool identify = true;                   // ask each resource *IDN?
    bool includeBuiltIn = false;            // list the built-in simulated mainframe too
};

// pinwright-cli find: lists the instruments this machine can reach, one line each as it is found (again,
// complete, should a resource of it turn up later), or as one JSON array at the end. A finding method that
// cannot run here is named on err once. Returns kSuccess when something was found, kInstrumentError when
// nothing was.
int runFindCommand(const FindCommandOptions& options, std::ostream& out, std::ostream& err);

} // namespace cli
