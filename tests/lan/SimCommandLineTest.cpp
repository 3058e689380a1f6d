// pinwright-sim's command line as a user meets it: a usage error is one line pointing to --help, status 2,
// before anything is served; a clash with another program is told as such, and "Ctrl-C stops" only once
// everything serves; a loopback address is not said to hear broadcasts.
#include "tests/lan/SimProcess.h"
#include "tests/support/CaseTable.h"
#include "tests/support/LoopbackListener.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct UsageError {
    std::vector<std::string> arguments;
    std::string says;
};

std::string shown(const UsageError& error) {
    std::string text;
    for (const auto& argument : error.arguments)
        text += (text.empty() ? "" : " ") + argument;
    return text;
}

class SimUsageErrors : public test_cases::Table<UsageError, &shown> {};

TEST_P(SimUsageErrors, AreOneLinePointingToHelpWithStatusTwo) {
    SimProcess sim(GetParam().arguments);
    EXPECT_EQ(sim.exitStatus(10s), 2);
    EXPECT_EQ(sim.output(),
              "pinwright-sim: " + GetParam().says + " (pinwright-sim --help lists the usage)\n");
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, SimUsageErrors,
    ::testing::Values(UsageError{{"--bogus"}, "unknown option \"--bogus\""},
                      UsageError{{"--address", "localhost", "--port", "0"},
                                 "--address wants a numeric IPv4 or IPv6 address, not \"localhost\""},
                      UsageError{{"--port", "0", "--portmap-port", "1111"}, "--portmap-port needs --vxi11"},
                      UsageError{
                          {"--port", "47001", "--hislip", "--hislip-port", "47001"},
                          "port 47001 is asked for twice, by --port and by HiSLIP (--hislip-port, default "
                          "4880); give one of them another"}));

TEST(SimCommandLine, DashHShowsTheUsage) {
    SimProcess sim({"-h"});
    EXPECT_EQ(sim.exitStatus(10s), 0);
    EXPECT_EQ(sim.output().rfind("Usage: pinwright-sim [options]\n", 0), 0u) << sim.output();
}

TEST(SimCommandLine, APortHeldByAnotherProgramIsSaidSoWithoutAPromiseToServe) {
    const LoopbackListener other;
    SimProcess sim({"--port", "0", "--no-announce", "--hislip-port", std::to_string(other.port())});
    EXPECT_EQ(sim.exitStatus(10s), 1);
    EXPECT_NE(sim.output().find("port " + std::to_string(other.port()) + " (another program already serves"),
              std::string::npos)
        << sim.output();
    EXPECT_EQ(sim.output().find("Ctrl-C"), std::string::npos) << "it never served: " << sim.output();
}

TEST(SimCommandLine, OnLoopbackThePortmapperIsNotSaidToHearBroadcasts) {
    SimProcess sim({"--port", "0", "--no-announce", "--vxi11", "--vxi11-port", "0", "--portmap-port", "0"});
    const std::string output = sim.outputUntil("serving; Ctrl-C stops");
    ASSERT_FALSE(output.empty()) << sim.output();
    EXPECT_NE(output.find("portmapper also over UDP\n"), std::string::npos) << output;
    EXPECT_EQ(output.find("broadcast"), std::string::npos) << output;
}

} // namespace
