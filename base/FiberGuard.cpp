#include "base/FiberGuard.h"

#include "base/FiberLoop.h"

#include <cstdio>
#include <cstdlib>

namespace base {

void assertNotOnFiber([[maybe_unused]] const char* what) {
#if defined(PINWRIGHT_FIBER_CHECKS)
    if (FiberLoop::inFiber()) {
        std::fprintf(stderr, "pinwright: %s would block the thread of a fiber loop\n", what);
        std::abort();
    }
#endif
}

bool fiberChecksEnabled() {
#if defined(PINWRIGHT_FIBER_CHECKS)
    return true;
#else
    return false;
#endif
}

} // namespace base
