#include "bench/cli/ProcessTiming.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

double cpuMilliseconds(const rusage& usage) {
    const auto ms = [](const timeval& time) {
        return time.tv_sec * 1e3 + time.tv_usec / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double ownCpuMilliseconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return cpuMilliseconds(usage);
}

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// Starts the command with its standard output going to `output` (or /dev/null when -1).
pid_t spawn(const std::vector<std::string>& command, int output) {
    std::vector<char*> argv;
    for (const auto& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output < 0)
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    else
        posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + command.front());
    return child;
}

bool exitedWithZero(int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

ProcessTiming::Run ProcessTiming::run(const std::vector<std::string>& command) {
    const auto start = std::chrono::steady_clock::now();
    const double ownStart = ownCpuMilliseconds();
    const pid_t child = spawn(command, -1);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    const auto elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    if (!exitedWithZero(status))
        throw std::runtime_error(command.front() + " " + command.back() + " failed");
    return {elapsed.count(), cpuMilliseconds(usage), ownCpuMilliseconds() - ownStart};
}

std::vector<ProcessTiming::Run> ProcessTiming::interleaved(const std::vector<Case>& cases, int runs) {
    std::vector<std::vector<Run>> samples(cases.size());
    for (int round = 0; round < runs; ++round)
        for (std::size_t k = 0; k < cases.size(); ++k)
            samples[k].push_back(run(cases[k][static_cast<std::size_t>(round) % cases[k].size()]));
    std::vector<Run> medians;
    for (const auto& runsOfCase : samples) {
        const auto medianOf = [&](double Run::*field) {
            std::vector<double> values;
            for (const auto& one : runsOfCase)
                values.push_back(one.*field);
            return median(values);
        };
        medians.push_back({medianOf(&Run::milliseconds), medianOf(&Run::cpuMilliseconds),
                           medianOf(&Run::serverCpuMilliseconds)});
    }
    return medians;
}

double ProcessTiming::peakResidentMegabytes(const std::string& self,
                                            const std::vector<std::string>& command) {
    std::array<int, 2> pipeEnds{};
    if (::pipe(pipeEnds.data()) != 0)
        throw std::runtime_error("cannot make a pipe");
    std::vector<std::string> launcher{self, "--peak-resident-of"};
    launcher.insert(launcher.end(), command.begin(), command.end());
    const pid_t child = spawn(launcher, pipeEnds[1]);
    ::close(pipeEnds[1]);
    std::string text;
    std::array<char, 64> buffer{};
    for (ssize_t n; text.size() < 64 && (n = ::read(pipeEnds[0], buffer.data(), buffer.size())) > 0;)
        text.append(buffer.data(), static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!exitedWithZero(status) || text.empty())
        throw std::runtime_error(command.front() + " " + command.back() + " failed");
    return std::stod(text) / 1024.0;
}

int ProcessTiming::reportPeakResident(const std::vector<std::string>& command) {
    const pid_t child = spawn(command, -1);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    std::printf("%ld\n", usage.ru_maxrss);
    return exitedWithZero(status) ? 0 : 1;
}
