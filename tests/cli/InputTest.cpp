// Watching and waiting for the input word, as a script synchronises with the device wired to the port:
// pins set to Digital IO read back the output word, so the test moves the input by setting that.
#include "cli/InputCommand.h"
#include "tests/cli/CliProcess.h"
#include "tests/cli/CliRun.h"
#include "tests/cli/ServedInstrument.h"

#include <csignal>
#include <gtest/gtest.h>
#include <regex>
#include <thread>

namespace {

using std::chrono::milliseconds;

void setWord(sim::Mainframe& mainframe, int word) {
    auto state = mainframe.state();
    state.outputWord = word;
    mainframe.setState(state);
}

struct MatchRow {
    const char* pattern;
    const char* bits;
    bool matches;
};

class PatternMatch : public ::testing::TestWithParam<MatchRow> {};

TEST_P(PatternMatch, XMatchesEitherDigitAndEveryOtherMustBeEqual) {
    EXPECT_EQ(cli::InputCommand::matches(GetParam().pattern, GetParam().bits), GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, PatternMatch,
    ::testing::Values(MatchRow{"xxxxxxx", "1010101", true}, MatchRow{"1xxxxx0", "1010100", true},
                      MatchRow{"1XXXXX0", "1010100", true}, MatchRow{"1xxxxx0", "0010100", false},
                      MatchRow{"0000001", "0000000", false}, MatchRow{"0000000", "0000000", true},
                      MatchRow{"xxxxxx", "000000", true}));

class InputWord : public ::testing::Test {
protected:
    ServedInstrument instrument{Transport::Socket, 0};
};

class WatchUntilSignal : public InputWord, public ::testing::WithParamInterface<int> {};

TEST_P(WatchUntilSignal, PrintsOneLinePerChangeThenExitsZero) {
    CliProcess watch({"-r", instrument.resource(), "input", "--watch", "--interval", "10"});
    const std::regex line(R"((\d+) (\d+) ([01]{7}))");
    std::smatch match;
    const auto first = watch.readLine(milliseconds(5000));
    ASSERT_TRUE(first);
    ASSERT_TRUE(std::regex_match(*first, match, line)) << *first;
    EXPECT_EQ(match[2], "0");
    const long long start = std::stoll(match[1]);
    // Unchanged reads print nothing.
    EXPECT_FALSE(watch.readLine(milliseconds(100)));

    setWord(instrument.mainframe(), 5);
    const auto changed = watch.readLine(milliseconds(5000));
    ASSERT_TRUE(changed);
    ASSERT_TRUE(std::regex_match(*changed, match, line)) << *changed;
    EXPECT_EQ(match[2], "5");
    EXPECT_EQ(match[3], "0000101");
    // At least the 100 ms of silence above passed between the two lines: in microseconds that is well
    // over 50000 (in milliseconds it would be about 100). The stamps are the program's own, taken when
    // it reads, so they may be a little closer together than the test's own wait.
    EXPECT_GE(std::stoll(match[1]) - start, 50000) << "monotonic microseconds";

    watch.signal(GetParam());
    EXPECT_EQ(watch.wait(milliseconds(5000)), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, WatchUntilSignal, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) { return info.param == SIGINT ? "Interrupt" : "Terminate"; });

TEST_F(InputWord, WaitReturnsAtTheMatchWithItsLine) {
    std::thread device([&] {
        std::this_thread::sleep_for(milliseconds(150));
        setWord(instrument.mainframe(), 2);
    });
    const auto result = runCliHere(
        {"-r", instrument.resource(), "input", "--wait", "xxxxx1x", "--timeout", "5000", "--interval", "10"});
    device.join();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(std::regex_match(result.out, std::regex(R"(\d+ 2 0000010\n)"))) << result.out;
}

TEST_F(InputWord, WaitTimesOutWithStatusOneAndTheLastWordRead) {
    setWord(instrument.mainframe(), 64);
    const auto start = std::chrono::steady_clock::now();
    const auto result =
        runCliHere({"-r", instrument.resource(), "input", "--wait", "0xxxxxx", "--timeout", "300"});
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(300));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "pinwright-cli: " + instrument.resource() +
                              ": input --wait 0xxxxxx: no match within 300 ms (last read 1000000)\n");
}

} // namespace
