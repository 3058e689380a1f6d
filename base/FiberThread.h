#pragma once

#include "base/FiberLoop.h"

#include <exception>
#include <functional>
#include <thread>

namespace base {

// A fiber loop that runs on a thread of its own until this goes, for servers that share it: make it
// before them and let it go after them, as a server's fibers end only when the server stops.
//
// What leaves a fiber of the loop never leaves the thread: join() rethrows it to whoever waits for the
// thread, and a FiberThread that goes without join() hands it to its report (by default a line on
// standard error), so that no failure ends the process or passes unsaid.
class FiberThread {
public:
    using Report = std::function<void(std::exception_ptr)>;

    // Neither copied nor moved: the thread runs this object's loop.
    explicit FiberThread(Report report = {});
    ~FiberThread();

    FiberLoop& loop() { return loop_; }
    // Stops the loop once its fibers have ended, waits for the thread and rethrows what ended a fiber
    // (see FiberLoop::run). Once only; not on a fiber of this loop.
    void join();

private:
    FiberLoop loop_;
    Report report_;
    std::exception_ptr failure_;
    std::thread thread_;
};

} // namespace base
