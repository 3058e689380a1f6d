#pragma once

#include "tests/support/ChildProcess.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// The built pinwright-cli running beside the test, for commands that run until a signal: its output is
// read a line at a time as it comes; it is killed if still running when this goes.
class CliProcess {
public:
    explicit CliProcess(const std::vector<std::string>& arguments)
        : process_(PINWRIGHT_CLI_PATH, arguments, ChildProcess::Output::StandardOnly, SIGKILL) {}

    // The next line of standard output without its LF, or none when none came within `bound`.
    std::optional<std::string> readLine(std::chrono::milliseconds bound);
    void signal(int number) { process_.signal(number); }
    // The exit status; -1 when it did not exit by itself within `bound` (it is killed then).
    int wait(std::chrono::milliseconds bound) { return process_.exitStatus(bound).value_or(-1); }

private:
    ChildProcess process_;
};
