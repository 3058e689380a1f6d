#pragma once

#include "visa/ResourceManager.h"

#include <chrono>
#include <vector>

namespace visa {

// How long past the window a finder may take before it is left behind.
inline constexpr std::chrono::milliseconds kFinderOverrun{500};

// Runs the finders at once, each on a thread of its own, passing their reports to the sink one at a time.
// Returns when all have ended, or at options.window + kFinderOverrun: a finder still running then is said
// unavailable and ends on its own, its later reports dropped. Each finder says unavailable() at most once.
void runFinders(const std::vector<RegisteredFinder>& finders, const FindOptions& options, FindSink& sink);

} // namespace visa
