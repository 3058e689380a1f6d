#pragma once

#include <string>
#include <vector>

// Wall time of whole program runs, start-up included: what a script pays per call.
class ProcessTiming {
public:
    // Runs the program (found on PATH when it has no slash) with its output thrown away and returns the
    // elapsed milliseconds; throws std::runtime_error when it cannot start or does not exit with 0.
    static double runMilliseconds(const std::vector<std::string>& command);
    // The median of `runs` runs.
    static double medianMilliseconds(const std::vector<std::string>& command, int runs);
};
