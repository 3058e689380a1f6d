#include "tests/support/ChildProcess.h"

#include <array>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           Output output, int stopSignal)
    : stopSignal_(stopSignal) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot make a pipe");
    output_.reset(pipeEnds[0]);
    const base::FileDescriptor writeEnd(pipeEnds[1]);
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    if (output == Output::WithErrors)
        posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + program);
    }
}

ChildProcess::~ChildProcess() {
    stop();
}

void ChildProcess::stop() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, stopSignal_);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

bool ChildProcess::readSome(std::chrono::milliseconds wait) {
    pollfd entry{output_.get(), POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(std::max<std::int64_t>(wait.count(), 0))) <= 0)
        return true;
    std::array<char, 4096> chunk;
    const auto n = ::read(output_.get(), chunk.data(), chunk.size());
    if (n <= 0)
        return false;
    text_.append(chunk.data(), static_cast<std::size_t>(n));
    return true;
}

void ChildProcess::signal(int number) {
    if (pid_ > 0)
        ::kill(pid_, number);
}

std::optional<int> ChildProcess::exitStatus(std::chrono::milliseconds bound) {
    // The pipe closes when the program ends: nothing else holds its write end.
    const auto end = std::chrono::steady_clock::now() + bound;
    bool open = true;
    while (open && std::chrono::steady_clock::now() < end)
        open = readSome(std::chrono::milliseconds(100));
    if (open) {
        stop();
        return std::nullopt;
    }
    int status = 0;
    if (::waitpid(pid_, &status, 0) != pid_)
        return std::nullopt;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
