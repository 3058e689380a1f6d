#include "base/FiberLoop.h"

#include "base/Deadline.h"
#include "base/FiberStacks.h"

#include <algorithm>
#include <boost/context/fiber.hpp>
#include <cerrno>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/eventfd.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace base {
namespace {

using Clock = FiberLoop::Clock;

struct Fiber {
    // The fiber's side while it is suspended (empty once it has returned), and the loop's side while the
    // fiber runs: each switch hands over the other side. Boost.Context switches without a system call
    // (swapcontext saves and restores the signal mask with one, twice per reply).
    boost::context::fiber context;
    boost::context::fiber loopSide;
    void* stackBottom = nullptr;
    std::function<void()> task;
    // The wait in progress (every fiber the loop holds waits, or is done): the caller's poll entries,
    // when it ends (nullopt: never) and the number a Wake for it carries.
    pollfd* fds = nullptr;
    nfds_t count = 0;
    std::optional<Clock::time_point> deadline;
    std::uint64_t wait = 0;
    int result = 0;
    int error = 0;
    bool woken = false;
    void* fakeStack = nullptr;
};

void wakeUp(int fd) {
    const std::uint64_t one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

} // namespace

FiberFailures::FiberFailures(std::vector<std::exception_ptr> failures)
    : std::runtime_error([&failures] {
          std::string text = std::to_string(failures.size()) + " tasks failed, the first with: ";
          try {
              std::rethrow_exception(failures.front());
          } catch (const std::exception& e) {
              return text + e.what();
          } catch (...) {
              return text + "an exception of an unknown type";
          }
      }()),
      failures_(std::move(failures)) {}

struct FiberLoop::State {
    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    // Fibers still suspended (run() left by an exception) are unwound: destroying a suspended
    // boost::context::fiber throws its unwinding exception at the fiber's wait, which every frame of the
    // task must let through.
    ~State() {
        unwinding = true;
        for (const auto& fiber : fibers)
            if (fiber->context)
                resume(*fiber, [](Fiber& suspended) { suspended.context = {}; });
        fibers.clear();
    }

    FiberStacks stacks; // before the fibers: they give their stacks back when destroyed
    std::vector<std::unique_ptr<Fiber>> fibers;
    std::vector<std::exception_ptr> failures;
    void* loopFakeStack = nullptr;
    const void* loopStackBottom = nullptr;
    std::size_t loopStackSize = 0;
    int wakeFd = -1;
    std::uint64_t nextWait = 0;
    bool unwinding = false;
    std::mutex mutex; // guards posted, stopped and woken: other threads reach them
    std::deque<std::function<void()>> posted;
    std::vector<std::uint64_t> woken;
    bool stopped = false;
    std::vector<pollfd> polled;                 // reused from turn to turn
    std::vector<Fiber*> over;                   // the same
    std::vector<std::uint64_t> wakes;           // the same
    std::deque<std::function<void()>> starting; // the same

    void start(std::function<void()> task);
    template <typename Switch> void resume(Fiber& fiber, Switch&& doSwitch);
    bool turn(bool untilStopped);
    void settle(int ready, int error);
};

namespace {

thread_local FiberLoop::State* currentLoop = nullptr;
thread_local Fiber* currentFiber = nullptr;

// Suspends the calling fiber until the loop resumes it.
void suspend(Fiber& fiber, FiberLoop::State& loop) {
    try {
        startStackSwitch(&fiber.fakeStack, loop.loopStackBottom, loop.loopStackSize);
        fiber.loopSide = std::move(fiber.loopSide).resume();
        finishStackSwitch(fiber.fakeStack, nullptr, nullptr);
    } catch (...) {
        // The loop unwinds this fiber (its destructor): the switch back was the loop's.
        finishStackSwitch(fiber.fakeStack, nullptr, nullptr);
        throw;
    }
}

} // namespace

FiberLoop::FiberLoop() : state_(std::make_unique<State>()) {
    state_->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state_->wakeFd < 0)
        throw std::system_error(errno, std::generic_category(), "cannot create a fiber loop's wake event");
}

FiberLoop::~FiberLoop() {
    const int wakeFd = state_->wakeFd;
    state_.reset();
    ::close(wakeFd);
}

void FiberLoop::post(std::function<void()> task) {
    {
        const std::lock_guard lock(state_->mutex);
        state_->posted.push_back(std::move(task));
    }
    wakeUp(state_->wakeFd);
}

void FiberLoop::stop() {
    {
        const std::lock_guard lock(state_->mutex);
        state_->stopped = true;
    }
    wakeUp(state_->wakeFd);
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
    auto failures = std::exchange(state_->failures, {});
    if (failures.size() == 1)
        std::rethrow_exception(failures.front());
    if (!failures.empty())
        throw FiberFailures(std::move(failures));
}

bool FiberLoop::inFiber() {
    return currentFiber != nullptr;
}

int FiberLoop::poll(pollfd* fds, nfds_t count, int timeoutMs) {
    if (currentFiber == nullptr || timeoutMs == 0)
        return ::poll(fds, count, timeoutMs);
    Fiber& fiber = *currentFiber;
    fiber.fds = fds;
    fiber.count = count;
    fiber.deadline =
        timeoutMs < 0 ? std::nullopt : std::optional(Clock::now() + std::chrono::milliseconds(timeoutMs));
    fiber.wait = ++currentLoop->nextWait;
    for (nfds_t i = 0; i < count; ++i)
        fds[i].revents = 0;
    suspend(fiber, *currentLoop);
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
        poll(nullptr, 0, pollMillisecondsUntil(end));
}

FiberLoop::Wake FiberLoop::wakeForNextWait() {
    if (currentFiber == nullptr)
        throw std::logic_error("FiberLoop::wakeForNextWait called outside a fiber");
    Wake wake;
    wake.loop_ = currentLoop;
    wake.wait_ = currentLoop->nextWait + 1;
    return wake;
}

bool FiberLoop::waitForWake(const Wake& wake, std::optional<Clock::time_point> deadline) {
    Fiber& fiber = *currentFiber;
    State& loop = *currentLoop;
    if (&loop != wake.loop_ || loop.nextWait + 1 != wake.wait_)
        throw std::logic_error("FiberLoop::waitForWake: the wake is not for this fiber's next wait");
    fiber.fds = nullptr;
    fiber.count = 0;
    fiber.deadline = deadline;
    fiber.wait = ++loop.nextWait;
    fiber.woken = false;
    suspend(fiber, loop);
    return std::exchange(fiber.woken, false);
}

void FiberLoop::Wake::send() const {
    {
        const std::lock_guard lock(loop_->mutex);
        loop_->woken.push_back(wait_);
    }
    wakeUp(loop_->wakeFd);
}

void FiberLoop::State::start(std::function<void()> task) {
    auto owned = std::make_unique<Fiber>();
    Fiber* const fiber = owned.get();
    fiber->task = std::move(task);
    fiber->context =
        boost::context::fiber(std::allocator_arg, stacks.allocator(fiber->stackBottom),
                              [this, fiber](boost::context::fiber&& loopSide) {
                                  fiber->loopSide = std::move(loopSide);
                                  finishStackSwitch(nullptr, &loopStackBottom, &loopStackSize);
                                  try {
                                      fiber->task();
                                  } catch (...) {
                                      if (unwinding) {
                                          startStackSwitch(nullptr, loopStackBottom, loopStackSize);
                                          throw; // Boost.Context's own: it ends the fiber
                                      }
                                      failures.push_back(std::current_exception());
                                  }
                                  fiber->task = nullptr;
                                  // Never resumed: a null fake stack tells AddressSanitizer this stack is
                                  // done with.
                                  startStackSwitch(nullptr, loopStackBottom, loopStackSize);
                                  return std::move(fiber->loopSide);
                              });
    fibers.push_back(std::move(owned));
    resume(*fiber, [](Fiber& first) { first.context = std::move(first.context).resume(); });
}

template <typename Switch> void FiberLoop::State::resume(Fiber& fiber, Switch&& doSwitch) {
    Fiber* const outer = std::exchange(currentFiber, &fiber);
    startStackSwitch(&loopFakeStack, fiber.stackBottom, kStackBytes);
    doSwitch(fiber);
    finishStackSwitch(loopFakeStack, nullptr, nullptr);
    currentFiber = outer;
}

// One turn: start what was posted, then wait once for every waiting fiber's descriptors and deadlines
// together and resume those whose wait is over. False when the loop is done.
bool FiberLoop::State::turn(bool untilStopped) {
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
            failures.push_back(std::current_exception());
        }
    }
    starting.clear();
    std::erase_if(fibers, [](const std::unique_ptr<Fiber>& fiber) { return !fiber->context; });
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
    const int ready = ::poll(polled.data(), polled.size(), earliest ? pollMillisecondsUntil(*earliest) : -1);
    const int error = errno;
    if (ready > 0 && polled[0].revents != 0) {
        std::uint64_t count = 0;
        while (::read(wakeFd, &count, sizeof count) < 0 && errno == EINTR) {
        }
    }
    settle(ready, error);
    for (Fiber* fiber : over)
        resume(*fiber, [](Fiber& waiting) { waiting.context = std::move(waiting.context).resume(); });
    return true;
}

// Resuming a fiber may end it or start its next wait, so first settle which waits are over.
void FiberLoop::State::settle(int ready, int error) {
    {
        const std::lock_guard lock(mutex);
        wakes.swap(woken);
    }
    over.clear();
    const auto now = Clock::now();
    std::size_t next = 1;
    for (const auto& fiber : fibers) {
        int readyHere = 0;
        for (nfds_t i = 0; i < fiber->count; ++i, ++next) {
            fiber->fds[i].revents = ready > 0 ? polled[next].revents : 0;
            readyHere += fiber->fds[i].revents != 0 ? 1 : 0;
        }
        // A wake meant for a wait already over is stale: its number is never used again.
        fiber->woken = std::find(wakes.begin(), wakes.end(), fiber->wait) != wakes.end();
        if (ready < 0 && error != EINTR) {
            fiber->result = -1;
            fiber->error = error;
        } else if (readyHere > 0 || fiber->woken || (fiber->deadline && *fiber->deadline <= now)) {
            fiber->result = readyHere;
        } else {
            continue;
        }
        over.push_back(fiber.get());
    }
    wakes.clear();
}

} // namespace base
