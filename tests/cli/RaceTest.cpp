// Two writers at the same moment: two pinwright-cli runs set "On Couple" on pins 4 and 5 of one VXI-11 or
// HiSLIP instrument. Each holds the instrument's exclusive lock around its read, check and write, so
// exactly one succeeds and the other is refused naming the pin that holds it. The two runs are two
// pinwright-cli processes started together; without the lock (--no-lock) both take the coupling within a
// few rounds.
#include "tests/cli/CliRun.h"
#include "tests/cli/ServedInstrument.h"

#include <barrier>
#include <gtest/gtest.h>
#include <thread>

namespace {

constexpr int kRounds = 100;

class TwoWriters : public ::testing::TestWithParam<Transport> {};

TEST_P(TwoWriters, ExactlyOneTakesTheCouplingAndTheOtherIsRefusedNamingIt) {
    ServedInstrument instrument(GetParam(), 0);
    auto& mainframe = instrument.mainframe();
    for (int round = 0; round < kRounds; ++round) {
        auto state = mainframe.state();
        state.pinFunction[4] = "DIO";
        state.pinFunction[5] = "DIO";
        mainframe.setState(state);

        std::barrier start(2);
        CliResult results[2];
        const auto writer = [&](int k) {
            const std::string pin = k == 0 ? "4" : "5";
            start.arrive_and_wait();
            // Two pinwright-cli processes, as two scripts on a rack would run them.
            results[k] = runCliProcess(
                {"-r", instrument.resource(), "--lock-timeout", "5000", "pin", pin, "On Couple"});
        };
        std::thread other(writer, 1);
        writer(0);
        other.join();

        const int winner = results[0].status == 0 ? 0 : 1;
        const int loser = 1 - winner;
        ASSERT_EQ(results[winner].status, 0) << "round " << round << ": " << results[winner].err;
        ASSERT_EQ(results[loser].status, 1) << "round " << round << ": both took it";
        EXPECT_NE(
            results[loser].err.find("On Couple is already set for pin " + std::to_string(4 + winner) + ";"),
            std::string::npos)
            << results[loser].err;
        const auto after = mainframe.state();
        ASSERT_EQ(after.pinFunction[4 + winner], "ONC") << "round " << round;
        ASSERT_EQ(after.pinFunction[4 + loser], "DIO") << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(LockingTransports, TwoWriters,
                         ::testing::Values(Transport::Vxi11, Transport::Hislip),
                         [](const auto& info) { return ServedInstrument::name(info.param); });

} // namespace
