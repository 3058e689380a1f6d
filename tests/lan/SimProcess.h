#pragma once

// pinwright-sim itself, run as a user would, with what it writes (standard output and error together)
// read as it comes. Stopped with SIGTERM, and waited for, when this goes.

#include "tests/support/ChildProcess.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& arguments)
        : process_(PINWRIGHT_SIM_PATH, arguments, ChildProcess::Output::WithErrors) {}

    // The output up to the line that contains `marker`; empty when the program ends or 5 s pass first.
    std::string outputUntil(const std::string& marker);
    // The exit status once it has ended by itself, with all it wrote; none when it is still running after
    // `bound` (it is stopped then).
    std::optional<int> exitStatus(std::chrono::milliseconds bound) { return process_.exitStatus(bound); }
    const std::string& output() { return process_.text(); }

private:
    ChildProcess process_;
};
