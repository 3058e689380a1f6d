#pragma once

#include <QtGlobal>
#include <chrono>
#include <csignal>

namespace cli {

// SIGINT and SIGTERM ask a long-running command (input --watch) to finish normally instead of ending
// the process, while this object lives; the previous handlers come back when it goes. One at a time.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    Q_DISABLE_COPY(StopSignals)

    bool stopRequested() const;
    // Sleeps for `duration`, or less when a stop is asked for meanwhile.
    void sleepFor(std::chrono::milliseconds duration) const;

private:
    struct sigaction previousInterrupt_ {};
    struct sigaction previousTerminate_ {};
};

} // namespace cli
