#pragma once

// A program of the build run beside a test as a user would run it, with what it writes read as it
// comes. Stopped with `stopSignal`, and waited for, if it is still running when this goes.

#include "base/FileDescriptor.h"

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

class ChildProcess {
public:
    enum class Output { StandardOnly, WithErrors };

    ChildProcess(const std::string& program, const std::vector<std::string>& arguments, Output output,
                 int stopSignal = SIGTERM);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Takes what has arrived within `wait` into text(); false once the program has closed its end.
    bool readSome(std::chrono::milliseconds wait);
    // What was read so far; a caller may consume it.
    std::string& text() { return text_; }
    void signal(int number);
    // The exit status once it has ended by itself, having read all it wrote; none when it is still
    // running after `bound` (it is stopped then).
    std::optional<int> exitStatus(std::chrono::milliseconds bound);

private:
    void stop();

    pid_t pid_ = -1;
    int stopSignal_;
    base::FileDescriptor output_;
    std::string text_;
};
