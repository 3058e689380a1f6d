// Two writers at the same moment: two pinwright-cli runs set "On Couple" on pins 4 and 5 of one VXI-11 or
// HiSLIP instrument. Each holds the instrument's exclusive lock around its read, check and write, so
// exactly one succeeds and the other is refused naming the pin that holds it. The two runs are two
// pinwright-cli processes started together; without the lock (--no-lock) both take the coupling within a
// few rounds.
#include "tests/cli/CliRun.h"
#include "tests/cli/ServedInstrument.h"

#include <array>
#include <barrier>
#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int kRounds = 100;

class TwoWriters : public ::testing::TestWithParam<Transport> {};

// One round: both pins back to DIO, then the two writers at once, each with `extra` options.
std::array<CliResult, 2> raceOnce(ServedInstrument& instrument, const std::vector<std::string>& extra) {
    auto state = instrument.mainframe().state();
    state.pinFunction[4] = "DIO";
    state.pinFunction[5] = "DIO";
    instrument.mainframe().setState(state);

    std::barrier start(2);
    std::array<CliResult, 2> results;
    const auto writer = [&](int k) {
        std::vector<std::string> arguments{"-r", instrument.resource(), "--lock-timeout", "5000"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.insert(arguments.end(), {"pin", k == 0 ? "4" : "5", "On Couple"});
        start.arrive_and_wait();
        // Two pinwright-cli processes, as two scripts on a rack would run them.
        results[k] = runCliProcess(arguments);
    };
    std::thread other(writer, 1);
    writer(0);
    other.join();
    return results;
}

TEST_P(TwoWriters, ExactlyOneTakesTheCouplingAndTheOtherIsRefusedNamingIt) {
    ServedInstrument instrument(GetParam(), 0);
    auto& mainframe = instrument.mainframe();
    for (int round = 0; round < kRounds; ++round) {
        const auto results = raceOnce(instrument, {});
        const int winner = results[0].status == 0 ? 0 : 1;
        const int loser = 1 - winner;
        ASSERT_EQ(results[winner].status, 0) << "round " << round << ": " << results[winner].err;
        ASSERT_EQ(results[loser].status, 1) << "round " << round << ": both took it";
        EXPECT_NE(
            results[loser].err.find("On Couple is already set for pin " + std::to_string(4 + winner) + "."),
            std::string::npos)
            << results[loser].err;
        const auto after = mainframe.state();
        ASSERT_EQ(after.pinFunction[4 + winner], "ONC") << "round " << round;
        ASSERT_EQ(after.pinFunction[4 + loser], "DIO") << "round " << round;
    }
}

// The control run: the same race without the lock must be able to go wrong, or the test above proves
// nothing. Every reply comes a little late, so that both writers read before either writes.
TEST_P(TwoWriters, WithoutTheLockBothTakeTheCouplingWithinAFewRounds) {
    ServedInstrument instrument(GetParam(), 0);
    auto& mainframe = instrument.mainframe();
    int round = 0;
    for (; round < kRounds; ++round) {
        mainframe.faults().inject(sim::Fault::DelayReply, sim::FaultInjector::kForever, 20ms);
        const auto results = raceOnce(instrument, {"--no-lock"});
        mainframe.faults().clear();
        const auto after = mainframe.state();
        if (results[0].status == 0 && results[1].status == 0 && after.pinFunction[4] == "ONC" &&
            after.pinFunction[5] == "ONC")
            break;
    }
    EXPECT_LT(round, kRounds) << "without the lock the race never went wrong: the locked run proves nothing";
}

INSTANTIATE_TEST_SUITE_P(LockingTransports, TwoWriters,
                         ::testing::Values(Transport::Vxi11, Transport::Hislip),
                         [](const auto& info) { return ServedInstrument::name(info.param); });

} // namespace
