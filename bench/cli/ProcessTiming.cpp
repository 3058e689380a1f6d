#include "bench/cli/ProcessTiming.h"

#include <algorithm>
#include <chrono>
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

} // namespace

ProcessTiming::Run ProcessTiming::run(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const auto& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    const double ownStart = ownCpuMilliseconds();
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + command.front());
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    const auto elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(command.front() + " " + command.back() + " failed");
    return {elapsed.count(), static_cast<double>(usage.ru_maxrss) / 1024.0, // ru_maxrss is in kB
            cpuMilliseconds(usage), ownCpuMilliseconds() - ownStart};
}

ProcessTiming::Run ProcessTiming::median(const std::vector<std::vector<std::string>>& commands, int runs) {
    std::vector<double> times, cpu, serverCpu;
    double peak = 0;
    for (int i = 0; i < runs; ++i) {
        const Run one = run(commands[static_cast<std::size_t>(i) % commands.size()]);
        times.push_back(one.milliseconds);
        cpu.push_back(one.cpuMilliseconds);
        serverCpu.push_back(one.serverCpuMilliseconds);
        peak = std::max(peak, one.peakResidentMegabytes);
    }
    return {::median(times), peak, ::median(cpu), ::median(serverCpu)};
}
