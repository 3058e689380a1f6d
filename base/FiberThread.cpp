#include "base/FiberThread.h"

#include "base/FiberGuard.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

namespace base {

namespace {

void reportOnStandardError(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pinwright: a fiber thread's task failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "pinwright: a fiber thread's task failed\n");
    }
}

} // namespace

FiberThread::FiberThread(Report report)
    : report_(report ? std::move(report) : Report(reportOnStandardError)), thread_([this] {
          try {
              loop_.run(true);
          } catch (...) {
              failure_ = std::current_exception(); // read after the join
          }
      }) {}

FiberThread::~FiberThread() {
    if (!thread_.joinable())
        return;
    loop_.stop();
    thread_.join();
    if (failure_)
        report_(failure_);
}

void FiberThread::join() {
    assertNotOnFiber("FiberThread::join");
    if (!thread_.joinable())
        throw std::logic_error("FiberThread::join called twice");
    loop_.stop();
    thread_.join();
    if (failure_)
        std::rethrow_exception(std::exchange(failure_, nullptr));
}

} // namespace base
