#pragma once

#include "base/FiberLoop.h"

#include <thread>

namespace base {

// A fiber loop that runs on a thread of its own until this goes, for servers that share it: make it
// before them and let it go after them, as a server's fibers end only when the server stops.
class FiberThread {
public:
    // Neither copied nor moved: the thread runs this object's loop.
    FiberThread();
    ~FiberThread();

    FiberLoop& loop() { return loop_; }

private:
    FiberLoop loop_;
    std::thread thread_;
};

} // namespace base
