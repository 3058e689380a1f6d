#include "base/FiberLoop.h"

#include <algorithm>
#include <boost/context/detail/fcontext.hpp>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

// GCC says so with __SANITIZE_ADDRESS__, Clang with __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define PINWRIGHT_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PINWRIGHT_ADDRESS_SANITIZER 1
#endif
#endif

#if defined(PINWRIGHT_ADDRESS_SANITIZER)
#include <sanitizer/common_interface_defs.h>
#endif

namespace base {
namespace {

using Clock = std::chrono::steady_clock;

// AddressSanitizer must be told which stack the thread is about to run on, or it takes the other
// stack's frames for overflows and loses track of what an exception unwinds.
void startSwitch([[maybe_unused]] void** fakeStack, [[maybe_unused]] const void* bottom,
                 [[maybe_unused]] std::size_t size) {
#if defined(PINWRIGHT_ADDRESS_SANITIZER)
    __sanitizer_start_switch_fiber(fakeStack, bottom, size);
#endif
}

void finishSwitch([[maybe_unused]] void* fakeStack, [[maybe_unused]] const void** oldBottom,
                  [[maybe_unused]] std::size_t* oldSize) {
#if defined(PINWRIGHT_ADDRESS_SANITIZER)
    __sanitizer_finish_switch_fiber(fakeStack, oldBottom, oldSize);
#endif
}

// Stacks below a guard page each, kept for the next fiber when one ends: a server that starts a fiber
// per connection maps a stack only when more connections are open at once than ever before.
class StackPool {
public:
    StackPool() : page_(static_cast<std::size_t>(::sysconf(_SC_PAGESIZE))) {}
    ~StackPool() {
        for (void* mapping : free_)
            ::munmap(mapping, page_ + FiberLoop::kStackBytes);
    }
    StackPool(const StackPool&) = delete;
    StackPool& operator=(const StackPool&) = delete;

    // The lowest address of the mapping; the stack starts one page above it.
    void* take() {
        if (!free_.empty()) {
            void* mapping = free_.back();
            free_.pop_back();
            return mapping;
        }
        void* mapping = ::mmap(nullptr, page_ + FiberLoop::kStackBytes, PROT_READ | PROT_WRITE,
                               MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
        if (mapping == MAP_FAILED)
            throw std::system_error(errno, std::generic_category(), "cannot map a fiber's stack");
        if (::mprotect(mapping, page_, PROT_NONE) != 0) {
            const int error = errno;
            ::munmap(mapping, page_ + FiberLoop::kStackBytes);
            throw std::system_error(error, std::generic_category(), "cannot guard a fiber's stack");
        }
        return mapping;
    }
    void give(void* mapping) { free_.push_back(mapping); }
    std::size_t page() const { return page_; }

private:
    std::size_t page_;
    std::vector<void*> free_;
};

namespace fcontext = boost::context::detail;

struct Fiber {
    // Where the fiber goes on when resumed, and where it returns to the loop: each switch hands over the
    // other side's context. Boost.Context switches without a system call (swapcontext saves and restores
    // the signal mask with one, twice per reply).
    fcontext::fcontext_t context = nullptr;
    fcontext::fcontext_t loopContext = nullptr;
    void* mapping = nullptr;
    void* stackBottom = nullptr;
    std::function<void()> task;
    // The wait in progress (every fiber the loop holds waits, or is done): the caller's poll entries and
    // when it ends (nullopt: never).
    pollfd* fds = nullptr;
    nfds_t count = 0;
    std::optional<Clock::time_point> deadline;
    int result = 0;
    int error = 0;
    bool done = false;
    void* fakeStack = nullptr;
};

} // namespace

struct FiberLoop::State {
    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    // Fibers still suspended (run() left by an exception) never finish; their stacks are released all the
    // same.
    ~State() {
        for (const auto& fiber : fibers)
            stacks.give(fiber->mapping);
    }

    StackPool stacks;
    std::vector<std::unique_ptr<Fiber>> fibers;
    std::exception_ptr failure;
    void* loopFakeStack = nullptr;
    const void* loopStackBottom = nullptr;
    std::size_t loopStackSize = 0;
    int wakeFd = -1;
    std::mutex mutex;
    std::deque<std::function<void()>> posted;
    bool stopped = false;
    std::vector<pollfd> polled; // reused from turn to turn
    std::vector<Fiber*> over;   // the same

    void start(std::function<void()> task);
    void resume(Fiber& fiber);
    bool turn(bool untilStopped);
    static void enter(fcontext::transfer_t from);
};

namespace {

thread_local FiberLoop::State* currentLoop = nullptr;
thread_local Fiber* currentFiber = nullptr;

int millisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

} // namespace

FiberLoop::FiberLoop() : state_(std::make_unique<State>()) {
    state_->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state_->wakeFd < 0)
        throw std::system_error(errno, std::generic_category(), "cannot create a fiber loop's wake event");
}

FiberLoop::~FiberLoop() {
    ::close(state_->wakeFd);
}

void FiberLoop::post(std::function<void()> task) {
    {
        const std::lock_guard lock(state_->mutex);
        state_->posted.push_back(std::move(task));
    }
    const std::uint64_t one = 1;
    while (::write(state_->wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void FiberLoop::stop() {
    {
        const std::lock_guard lock(state_->mutex);
        state_->stopped = true;
    }
    const std::uint64_t one = 1;
    while (::write(state_->wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void FiberLoop::run(bool untilStopped) {
    State* const outer = std::exchange(currentLoop, state_.get());
    try {
        while (state_->turn(untilStopped)) {
        }
    } catch (...) {
        currentLoop = outer;
        throw;
    }
    currentLoop = outer;
    if (auto failure = std::exchange(state_->failure, nullptr))
        std::rethrow_exception(failure);
}

bool FiberLoop::inFiber() {
    return currentFiber != nullptr;
}

int FiberLoop::poll(pollfd* fds, nfds_t count, int timeoutMs) {
    if (currentFiber == nullptr || timeoutMs == 0)
        return ::poll(fds, count, timeoutMs);
    Fiber& fiber = *currentFiber;
    State& loop = *currentLoop;
    fiber.fds = fds;
    fiber.count = count;
    fiber.deadline =
        timeoutMs < 0 ? std::nullopt : std::optional(Clock::now() + std::chrono::milliseconds(timeoutMs));
    for (nfds_t i = 0; i < count; ++i)
        fds[i].revents = 0;
    startSwitch(&fiber.fakeStack, loop.loopStackBottom, loop.loopStackSize);
    fiber.loopContext = fcontext::jump_fcontext(fiber.loopContext, nullptr).fctx;
    finishSwitch(fiber.fakeStack, nullptr, nullptr);
    if (fiber.result < 0)
        errno = fiber.error;
    return fiber.result;
}

void FiberLoop::sleepFor(std::chrono::milliseconds duration) {
    if (currentFiber == nullptr) {
        std::this_thread::sleep_for(duration);
        return;
    }
    const auto end = Clock::now() + duration;
    while (Clock::now() < end)
        poll(nullptr, 0, millisecondsUntil(end));
}

void FiberLoop::State::enter(fcontext::transfer_t from) {
    auto* fiber = static_cast<Fiber*>(from.data);
    fiber->loopContext = from.fctx;
    State& loop = *currentLoop;
    finishSwitch(nullptr, &loop.loopStackBottom, &loop.loopStackSize);
    try {
        fiber->task();
    } catch (...) {
        if (!loop.failure)
            loop.failure = std::current_exception();
    }
    fiber->task = nullptr;
    fiber->done = true;
    // Never resumed: a null fake stack tells AddressSanitizer this stack is done with.
    startSwitch(nullptr, loop.loopStackBottom, loop.loopStackSize);
    fcontext::jump_fcontext(fiber->loopContext, nullptr);
}

void FiberLoop::State::start(std::function<void()> task) {
    auto fiber = std::make_unique<Fiber>();
    fiber->task = std::move(task);
    fiber->mapping = stacks.take();
    fiber->stackBottom = static_cast<char*>(fiber->mapping) + stacks.page();
    // The context starts at the top of the stack, which grows down.
    fiber->context = fcontext::make_fcontext(static_cast<char*>(fiber->stackBottom) + kStackBytes,
                                             kStackBytes, &State::enter);
    fibers.push_back(std::move(fiber));
    resume(*fibers.back());
}

void FiberLoop::State::resume(Fiber& fiber) {
    Fiber* const outer = std::exchange(currentFiber, &fiber);
    startSwitch(&loopFakeStack, fiber.stackBottom, kStackBytes);
    fiber.context = fcontext::jump_fcontext(fiber.context, &fiber).fctx;
    finishSwitch(loopFakeStack, nullptr, nullptr);
    currentFiber = outer;
}

// One turn: start what was posted, then wait once for every waiting fiber's descriptors and deadlines
// together and resume those whose wait is over. False when the loop is done.
bool FiberLoop::State::turn(bool untilStopped) {
    std::deque<std::function<void()>> starting;
    bool stopping = false;
    {
        const std::lock_guard lock(mutex);
        starting.swap(posted);
        stopping = stopped;
    }
    for (auto& task : starting) {
        try {
            start(std::move(task));
        } catch (const std::system_error&) {
            // No stack for it: the others go on, and run() reports it once they have ended.
            if (!failure)
                failure = std::current_exception();
        }
    }
    std::erase_if(fibers, [this](const std::unique_ptr<Fiber>& fiber) {
        if (fiber->done)
            stacks.give(fiber->mapping);
        return fiber->done;
    });
    if (fibers.empty() && (!untilStopped || stopping)) {
        const std::lock_guard lock(mutex);
        if (posted.empty())
            return false;
    }

    polled.assign(1, pollfd{wakeFd, POLLIN, 0});
    std::optional<Clock::time_point> earliest;
    for (const auto& fiber : fibers) {
        polled.insert(polled.end(), fiber->fds, fiber->fds + fiber->count);
        if (fiber->deadline && (!earliest || *fiber->deadline < *earliest))
            earliest = fiber->deadline;
    }
    const int ready = ::poll(polled.data(), polled.size(), earliest ? millisecondsUntil(*earliest) : -1);
    const int error = errno;
    if (ready > 0 && polled[0].revents != 0) {
        std::uint64_t count = 0;
        while (::read(wakeFd, &count, sizeof count) < 0 && errno == EINTR) {
        }
    }

    // Resuming a fiber may end it or start its next wait, so first settle which waits are over.
    over.clear();
    const auto now = Clock::now();
    std::size_t next = 1;
    for (const auto& fiber : fibers) {
        int readyHere = 0;
        for (nfds_t i = 0; i < fiber->count; ++i, ++next) {
            fiber->fds[i].revents = ready > 0 ? polled[next].revents : 0;
            readyHere += fiber->fds[i].revents != 0 ? 1 : 0;
        }
        if (ready < 0 && error != EINTR) {
            fiber->result = -1;
            fiber->error = error;
        } else if (readyHere > 0 || (fiber->deadline && *fiber->deadline <= now)) {
            fiber->result = readyHere;
        } else {
            continue;
        }
        over.push_back(fiber.get());
    }
    for (Fiber* fiber : over)
        resume(*fiber);
    return true;
}

} // namespace base
