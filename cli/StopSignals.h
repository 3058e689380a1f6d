#pragma once

#include "base/FileDescriptor.h"

#include <QtGlobal>
#include <chrono>
#include <csignal>
#include <pthread.h>

namespace cli {

// SIGINT and SIGTERM ask a long-running command (input --watch) to finish normally instead of ending
// the process, while this object lives; the previous handlers come back when it goes. One at a time.
// The signals arrive on a descriptor (signalfd) that the wait below watches, on a fiber through its loop:
// nothing polls a flag. They are blocked in the thread that makes this object, and one that reaches
// another thread of the process is handed on to it.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    Q_DISABLE_COPY(StopSignals)

    bool stopRequested() const;
    // Waits for `duration`, or less when a stop is asked for meanwhile.
    void sleepFor(std::chrono::milliseconds duration) const;

private:
    bool waitForSignal(int timeoutMs) const;

    sigset_t previousMask_{};
    struct sigaction previousInterrupt_ {};
    struct sigaction previousTerminate_ {};
    base::FileDescriptor signals_;
    mutable bool stopAsked_ = false;
};

} // namespace cli
