#pragma once

// pinwright-sim itself, run as a user would, with what it writes (standard output and error together)
// read as it comes. Stopped with SIGTERM, and waited for, when this goes.

#include "base/FileDescriptor.h"

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& arguments);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The output up to the line that contains `marker`; empty when the program ends or 5 s pass first.
    std::string outputUntil(const std::string& marker);
    // The exit status once it has ended by itself, with all it wrote; none when it is still running after
    // `bound` (it is stopped then).
    std::optional<int> exitStatus(std::chrono::milliseconds bound);
    const std::string& output() const { return text_; }

private:
    // Takes what has arrived within `wait`; false when the program closed its end.
    bool readSome(std::chrono::milliseconds wait);

    pid_t pid_ = -1;
    base::FileDescriptor output_;
    std::string text_;
};
