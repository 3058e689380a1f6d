#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// The built pinwright-cli running beside the test, for commands that run until a signal: its output is
// read a line at a time as it comes; it is killed if still running when this goes.
class CliProcess {
public:
    explicit CliProcess(const std::vector<std::string>& arguments);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    // The next line of standard output without its LF, or none when none came within `bound`.
    std::optional<std::string> readLine(std::chrono::milliseconds bound);
    void signal(int number);
    // The exit status; -1 when it did not exit by itself within `bound` (it is killed then).
    int wait(std::chrono::milliseconds bound);

private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string buffered_;
};
