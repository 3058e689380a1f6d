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

ProcessTiming::Run ProcessTiming::run(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const auto& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
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
    return {elapsed.count(), static_cast<double>(usage.ru_maxrss) / 1024.0}; // ru_maxrss is in kB
}

ProcessTiming::Run ProcessTiming::median(const std::vector<std::vector<std::string>>& commands, int runs) {
    std::vector<double> samples;
    double peak = 0;
    for (int i = 0; i < runs; ++i) {
        const Run one = run(commands[static_cast<std::size_t>(i) % commands.size()]);
        samples.push_back(one.milliseconds);
        peak = std::max(peak, one.peakResidentMegabytes);
    }
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], peak};
}
