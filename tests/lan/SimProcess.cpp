#include "tests/lan/SimProcess.h"

#include <array>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

SimProcess::SimProcess(const std::vector<std::string>& arguments) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("no pipe");
    }
    output_.reset(pipeFds[0]);
    base::FileDescriptor writeEnd(pipeFds[1]);
    std::vector<std::string> words = arguments;
    std::vector<char*> argv{const_cast<char*>(PINWRIGHT_SIM_PATH)};
    for (std::string& argument : words) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(writeEnd.get(), STDOUT_FILENO);
        ::dup2(writeEnd.get(), STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
}

SimProcess::~SimProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

bool SimProcess::readSome(std::chrono::milliseconds wait) {
    pollfd fd{output_.get(), POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(wait.count())) <= 0) {
        return true;
    }
    std::array<char, 4096> chunk;
    const auto n = ::read(output_.get(), chunk.data(), chunk.size());
    if (n <= 0) {
        return false;
    }
    text_.append(chunk.data(), static_cast<std::size_t>(n));
    return true;
}

std::string SimProcess::outputUntil(const std::string& marker) {
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (text_.find(marker) == std::string::npos && std::chrono::steady_clock::now() < end &&
           readSome(100ms)) {
    }
    return text_.find(marker) == std::string::npos ? std::string{} : text_;
}

std::optional<int> SimProcess::exitStatus(std::chrono::milliseconds bound) {
    // The pipe closes when the program ends: nothing else holds its write end.
    const auto end = std::chrono::steady_clock::now() + bound;
    bool open = true;
    while (open && std::chrono::steady_clock::now() < end) {
        open = readSome(100ms);
    }
    if (open) {
        return std::nullopt;
    }
    int status = 0;
    if (::waitpid(pid_, &status, 0) != pid_) {
        return std::nullopt;
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
