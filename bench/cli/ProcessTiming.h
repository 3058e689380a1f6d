#pragma once

#include <string>
#include <vector>

// Wall time and peak resident size of whole program runs, start-up included: what a script pays per call.
class ProcessTiming {
public:
    struct Run {
        double milliseconds = 0;
        double peakResidentMegabytes = 0;
        double cpuMilliseconds = 0;       // the program's, user and system
        double serverCpuMilliseconds = 0; // this process's meanwhile: the servers it runs for the program
    };

    // Runs the program (found on PATH when it has no slash) with its output thrown away; throws
    // std::runtime_error when it cannot start or does not exit with 0.
    static Run run(const std::vector<std::string>& command);
    // The medians of `runs` runs and the highest peak resident size among them; the commands are run in
    // turn, so that each run of an apply can find something to change.
    static Run median(const std::vector<std::vector<std::string>>& commands, int runs);
    static double medianMilliseconds(const std::vector<std::string>& command, int runs) {
        return median({command}, runs).milliseconds;
    }
};
