#include "cli/StopSignals.h"

#include "base/Deadline.h"
#include "base/FiberLoop.h"

#include <atomic>
#include <cerrno>
#include <poll.h>
#include <sys/signalfd.h>
#include <system_error>
#include <unistd.h>

namespace cli {
namespace {

// The thread whose signalfd takes the signals; a handler can only reach static storage.
std::atomic<pthread_t> waitingThread{};

sigset_t stopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

// Runs on a thread that has the signals unblocked: hands the signal on to the waiting thread, where it
// stays pending and shows on the signalfd. pthread_kill is async-signal-safe.
extern "C" void handOn(int signal) {
    const int savedErrno = errno;
    pthread_kill(waitingThread.load(), signal);
    errno = savedErrno;
}

} // namespace

StopSignals::StopSignals() {
    const sigset_t set = stopSignalSet();
    waitingThread.store(pthread_self());
    pthread_sigmask(SIG_BLOCK, &set, &previousMask_);
    signals_.reset(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
    if (!signals_.valid()) {
        const int error = errno;
        pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
        throw std::system_error(error, std::generic_category(), "cannot watch for Ctrl-C");
    }
    struct sigaction action {};
    action.sa_handler = handOn;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previousInterrupt_);
    ::sigaction(SIGTERM, &action, &previousTerminate_);
}

StopSignals::~StopSignals() {
    // A signal still pending would reach the previous handler (the default one ends the process) as
    // soon as it is unblocked: take it first.
    signalfd_siginfo info{};
    while (::read(signals_.get(), &info, sizeof info) == sizeof info) {
    }
    ::sigaction(SIGINT, &previousInterrupt_, nullptr);
    ::sigaction(SIGTERM, &previousTerminate_, nullptr);
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

bool StopSignals::stopRequested() const {
    return waitForSignal(0);
}

void StopSignals::sleepFor(std::chrono::milliseconds duration) const {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (!waitForSignal(base::pollMillisecondsUntil(end)) && std::chrono::steady_clock::now() < end) {
    }
}

// True once a stop signal has arrived; waits up to timeoutMs for one.
bool StopSignals::waitForSignal(int timeoutMs) const {
    if (stopAsked_)
        return true;
    pollfd entry{signals_.get(), POLLIN, 0};
    if (base::FiberLoop::poll(&entry, 1, timeoutMs) > 0) {
        signalfd_siginfo info{};
        stopAsked_ = ::read(signals_.get(), &info, sizeof info) == sizeof info;
    }
    return stopAsked_;
}

} // namespace cli
