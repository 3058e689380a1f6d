#include "base/FiberThread.h"

namespace base {

FiberThread::FiberThread() : thread_([this] { loop_.run(true); }) {}

FiberThread::~FiberThread() {
    loop_.stop();
    thread_.join();
}

} // namespace base
