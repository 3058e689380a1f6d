#include "visa/GpibLibrary.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

struct StepCase {
    std::chrono::milliseconds timeout;
    int step;
};

void PrintTo(const StepCase& c, std::ostream* out) {
    *out << c.timeout.count() << " ms";
}

class GpibTimeoutStepTest : public testing::TestWithParam<StepCase> {};

TEST_P(GpibTimeoutStepTest, PicksTheNearestStepNotBelowTheTimeout) {
    const auto [timeout, step] = GetParam();
    EXPECT_EQ(visa::gpib::timeoutStep(timeout), step) << timeout.count() << " ms";
}

INSTANTIATE_TEST_SUITE_P(Steps, GpibTimeoutStepTest,
                         testing::Values(StepCase{0ms, 1},      // T10us: never TNONE, which waits forever
                                         StepCase{1ms, 5},      // T1ms exactly
                                         StepCase{2ms, 6},      // T3ms
                                         StepCase{100ms, 9},    // T100ms exactly
                                         StepCase{101ms, 10},   // T300ms
                                         StepCase{2000ms, 12},  // T3s: the open time-out
                                         StepCase{5000ms, 13},  // T10s: the I/O time-out
                                         StepCase{1000s, 17},   // T1000s exactly
                                         StepCase{5000s, 17})); // the longest there is

} // namespace
