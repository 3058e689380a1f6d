#pragma once

#include <string>
#include <vector>

// Wall time, CPU time and peak resident size of whole program runs, start-up included: what a script
// pays per call.
class ProcessTiming {
public:
    struct Run {
        double milliseconds = 0;
        double cpuMilliseconds = 0;       // the program's, user and system
        double serverCpuMilliseconds = 0; // this process's meanwhile: the servers it runs for the program
    };

    // Runs the program (found on PATH when it has no slash) with its output thrown away; throws
    // std::runtime_error when it cannot start or does not exit with 0.
    static Run run(const std::vector<std::string>& command);

    // A case: commands run in turn, one per round, so that each run of an apply can find something to
    // change.
    using Case = std::vector<std::vector<std::string>>;
    // Every case run once per round for `runs` rounds, so that changes in the machine's load fall on all
    // of them alike; the medians per case.
    static std::vector<Run> interleaved(const std::vector<Case>& cases, int runs);
    static double medianMilliseconds(const std::vector<std::string>& command, int runs) {
        return interleaved({{command}}, runs).front().milliseconds;
    }

    // The program's peak resident size in MB. A child's peak counts the memory of the process it was
    // started from (Linux carries the old image's peak over exec), so the program is started from a
    // fresh, small copy of this one (`self --peak-resident-of COMMAND...`), which reports it.
    static double peakResidentMegabytes(const std::string& self, const std::vector<std::string>& command);
    // That copy's work: runs the command and prints its peak resident size in kB; the exit status is 0
    // when it exited with 0.
    static int reportPeakResident(const std::vector<std::string>& command);
};
