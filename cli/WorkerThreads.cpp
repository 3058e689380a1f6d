#include "cli/WorkerThreads.h"

#include <cerrno>
#include <sys/mman.h>
#include <system_error>
#include <unistd.h>

namespace cli {
namespace {

void* runWork(void* work) {
    (*static_cast<std::function<void()>*>(work))();
    return nullptr;
}

} // namespace

WorkerThreads::WorkerThreads(std::size_t count, std::function<void()> work) : work_(std::move(work)) {
    if (count == 0)
        return;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t slot = page + kStackBytes;
    mappingBytes_ = slot * count;
    mapping_ = ::mmap(nullptr, mappingBytes_, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (mapping_ == MAP_FAILED) {
        mapping_ = nullptr;
        throw std::system_error(errno, std::generic_category(), "cannot map the worker threads' stacks");
    }
    threads_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        char* guard = static_cast<char*>(mapping_) + i * slot;
        int error = ::mprotect(guard, page, PROT_NONE) == 0 ? 0 : errno;
        pthread_attr_t attributes;
        if (error == 0 && (error = ::pthread_attr_init(&attributes)) == 0) {
            error = ::pthread_attr_setstack(&attributes, guard + page, kStackBytes);
            pthread_t thread;
            if (error == 0 && (error = ::pthread_create(&thread, &attributes, runWork, &work_)) == 0)
                threads_.push_back(thread);
            ::pthread_attr_destroy(&attributes);
        }
        if (error != 0) {
            joinAll();
            throw std::system_error(error, std::generic_category(), "cannot start a worker thread");
        }
    }
}

WorkerThreads::~WorkerThreads() {
    joinAll();
}

void WorkerThreads::joinAll() {
    for (const pthread_t thread : threads_)
        ::pthread_join(thread, nullptr);
    threads_.clear();
    if (mapping_)
        ::munmap(mapping_, mappingBytes_);
    mapping_ = nullptr;
}

} // namespace cli
