#pragma once

#include <cstddef>
#include <functional>
#include <pthread.h>
#include <vector>

namespace cli {

// A set of threads that each run the same function, joined when the set goes. Their stacks are carved
// from one mapping made here, each below a guard page: a thread then maps no stack of its own when it
// starts, and hands no stack pages back when it ends, which on a multi-core machine costs every other
// core a TLB flush. A rack of instruments starts dozens of these per run.
class WorkerThreads {
public:
    // Throws std::system_error when a thread or the mapping cannot be had; the threads already started
    // are joined first.
    WorkerThreads(std::size_t count, std::function<void()> work);
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Room for the deepest call chain of a worker, instrumented builds included.
    static constexpr std::size_t kStackBytes = 2 * 1024 * 1024;

private:
    void joinAll();

    std::function<void()> work_;
    void* mapping_ = nullptr;
    std::size_t mappingBytes_ = 0;
    std::vector<pthread_t> threads_;
};

} // namespace cli
