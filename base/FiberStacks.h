#pragma once

#include <boost/context/stack_context.hpp>
#include <cstddef>
#include <vector>

namespace base {

// The fibers' stacks, each above a guard page, kept for the next fiber when one ends: a server that
// starts a fiber per connection maps a stack only when more connections are open at once than ever
// before, and a stack's pages once touched stay backed. Boost.Context's protected_fixedsize_stack maps
// and unmaps one per fiber; its pooled_fixedsize_stack has no guard page. One loop's, not thread-safe.
class FiberStacks {
public:
    // Boost.Context's StackAllocator: it hands a fiber one of these stacks and takes it back.
    class Allocator {
    public:
        Allocator(FiberStacks& stacks, void*& bottom) : stacks_(&stacks), bottom_(&bottom) {}
        boost::context::stack_context allocate();
        void deallocate(boost::context::stack_context& stack) noexcept;

    private:
        FiberStacks* stacks_;
        void** bottom_; // where the lowest address of the stack is written, for AddressSanitizer
    };

    FiberStacks();
    ~FiberStacks();
    FiberStacks(const FiberStacks&) = delete;
    FiberStacks& operator=(const FiberStacks&) = delete;

    // `bottom` is set to the lowest address of the stack when the fiber takes it.
    Allocator allocator(void*& bottom) { return Allocator(*this, bottom); }

private:
    void* take(); // the lowest address of the mapping; the stack starts one page above it
    void give(void* mapping) noexcept;

    std::size_t page_;
    std::vector<void*> free_;
    std::size_t mapped_ = 0;
};

// AddressSanitizer must be told which stack the thread is about to run on, or it takes the other
// stack's frames for overflows and loses track of what an exception unwinds. Boost.Context's fibers
// tell it only when built on ucontext, which Debian's is not. Nothing in other builds.
void startStackSwitch(void** fakeStack, const void* bottom, std::size_t size);
void finishStackSwitch(void* fakeStack, const void** oldBottom, std::size_t* oldSize);

} // namespace base
