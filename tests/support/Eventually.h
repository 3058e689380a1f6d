#pragma once

// Waits for something a test can observe (a count of waiters, of connections) instead of sleeping and
// hoping that it has happened by now: true as soon as `condition` holds, false when `patience` (generous:
// it bounds a failing test, never a passing one) runs out first.

#include <chrono>
#include <thread>

namespace test_support {

template <typename Condition>
bool eventually(Condition&& condition, std::chrono::milliseconds patience = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + patience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace test_support
