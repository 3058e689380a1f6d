#include "base/FiberStacks.h"

#include "base/FiberLoop.h"

#include <cerrno>
#include <sys/mman.h>
#include <system_error>
#include <unistd.h>

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
constexpr std::size_t kStackBytes = FiberLoop::kStackBytes;
}

FiberStacks::FiberStacks() : page_(static_cast<std::size_t>(::sysconf(_SC_PAGESIZE))) {}

FiberStacks::~FiberStacks() {
    for (void* mapping : free_)
        ::munmap(mapping, page_ + kStackBytes);
}

void* FiberStacks::take() {
    if (!free_.empty()) {
        void* mapping = free_.back();
        free_.pop_back();
        return mapping;
    }
    // Reserve room to give it back without allocating, since giving back cannot fail.
    free_.reserve(mapped_ + 1);
    void* mapping = ::mmap(nullptr, page_ + kStackBytes, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (mapping == MAP_FAILED)
        throw std::system_error(errno, std::generic_category(), "cannot map a fiber's stack");
    if (::mprotect(mapping, page_, PROT_NONE) != 0) {
        const int error = errno;
        ::munmap(mapping, page_ + kStackBytes);
        throw std::system_error(error, std::generic_category(), "cannot guard a fiber's stack");
    }
    ++mapped_;
    return mapping;
}

void FiberStacks::give(void* mapping) noexcept {
    free_.push_back(mapping);
}

boost::context::stack_context FiberStacks::Allocator::allocate() {
    char* const mapping = static_cast<char*>(stacks_->take());
    *bottom_ = mapping + stacks_->page_;
    boost::context::stack_context stack;
    stack.size = kStackBytes;
    stack.sp = mapping + stacks_->page_ + kStackBytes; // the stack grows down from its top
    return stack;
}

void FiberStacks::Allocator::deallocate(boost::context::stack_context& stack) noexcept {
    stacks_->give(static_cast<char*>(stack.sp) - kStackBytes - stacks_->page_);
}

void startStackSwitch([[maybe_unused]] void** fakeStack, [[maybe_unused]] const void* bottom,
                      [[maybe_unused]] std::size_t size) {
#if defined(PINWRIGHT_ADDRESS_SANITIZER)
    __sanitizer_start_switch_fiber(fakeStack, bottom, size);
#endif
}

void finishStackSwitch([[maybe_unused]] void* fakeStack, [[maybe_unused]] const void** oldBottom,
                       [[maybe_unused]] std::size_t* oldSize) {
#if defined(PINWRIGHT_ADDRESS_SANITIZER)
    __sanitizer_finish_switch_fiber(fakeStack, oldBottom, oldSize);
#endif
}

} // namespace base
