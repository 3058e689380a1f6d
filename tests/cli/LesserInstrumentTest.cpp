// show, diff and apply against instruments that parse less than SCPI allows (pinwright-sim's habits): each
// works, status 0, blaming nothing on the errors the instrument queued for the joined read it could not
// take, and sends no joined message after the instrument showed that it cannot take one.
#include "sim/FaultInjector.h"
#include "tests/cli/CliRun.h"
#include "tests/cli/ServedInstrument.h"
#include "tests/support/PortArrangement.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <tuple>
#include <unistd.h>

namespace {

enum class Command { Show, Diff, Apply };

// What the port holds before each command, and what the profile asks.
const PortArrangement kPresent{.functions = {{1, "FAUL"}, {4, "ONC"}, {6, "TINP"}},
                               .polarities = {{6, "NEG"}},
                               .outputWord = 5,
                               .inhibitMode = "LIVE"};
constexpr const char* kPresentProfile = R"({"format": "pinwright-profile", "version": 1,
    "pins": [{"pin": 1, "function": "Fault"}, {"pin": 4, "function": "On Couple"},
             {"pin": 6, "function": "Trigger In", "polarity": "negative"}],
    "outputWord": 5, "inhibitMode": "live"})";
// Moves On Couple from pin 4 to pin 5, so that apply frees it first and checks it on the way.
constexpr const char* kChangingProfile = R"({"format": "pinwright-profile", "version": 1,
    "pins": [{"pin": 4, "function": "Trigger Out", "polarity": "negative"}, {"pin": 5, "function": "On Couple"}],
    "outputWord": 9, "inhibitMode": "latching"})";

using HabitAndCommand = std::tuple<sim::Fault, Command>;

class LesserInstruments : public ::testing::TestWithParam<HabitAndCommand> {
protected:
    void SetUp() override {
        mainframe().setState(kPresent.over(mainframe().state()));
        mainframe().faults().inject(std::get<0>(GetParam()));
        mainframe().traffic().clear();
    }
    void TearDown() override { std::remove(file.c_str()); }

    sim::Mainframe& mainframe() { return instrument.mainframe(); }
    std::string profile(const char* json) {
        std::ofstream(file) << json;
        return file;
    }
    std::size_t joinedMessagesSent() {
        const auto received = mainframe().traffic().received();
        return static_cast<std::size_t>(
            std::count_if(received.begin(), received.end(),
                          [](const std::string& m) { return m.find(';') != std::string::npos; }));
    }

    ServedInstrument instrument{Transport::Socket, 0};
    const std::string file = ::testing::TempDir() + "lesser-" + std::to_string(::getpid()) + ".json";
};

TEST_P(LesserInstruments, WorkWithoutBlamingTheirErrorsOnAStep) {
    const Command command = std::get<1>(GetParam());
    CliResult result;
    switch (command) {
    case Command::Show:
        result = runCliHere({"-r", instrument.resource(), "show"});
        EXPECT_EQ(result.out.rfind("pin 1: Fault, positive\n", 0), 0u) << result.out;
        EXPECT_NE(result.out.find("pin 6: Trigger In, negative\n"), std::string::npos) << result.out;
        EXPECT_NE(result.out.find("output: 5 (pin 7654321: 0000101)"), std::string::npos) << result.out;
        EXPECT_NE(result.out.find("inhibit: live"), std::string::npos) << result.out;
        break;
    case Command::Diff:
        result = runCliHere({"-r", instrument.resource(), "diff", profile(kPresentProfile)});
        EXPECT_EQ(result.out, "no differences\n");
        break;
    case Command::Apply: {
        result = runCliHere({"-r", instrument.resource(), "apply", profile(kChangingProfile)});
        EXPECT_EQ(result.out.find("still differs"), std::string::npos) << result.out;
        const auto state = mainframe().state();
        EXPECT_EQ(state.pinFunction[4], "TOUT");
        EXPECT_EQ(state.pinPolarity[4], "NEG");
        EXPECT_EQ(state.pinFunction[5], "ONC");
        EXPECT_EQ(state.outputWord, 9);
        EXPECT_EQ(state.inhibitMode, "LATC");
        break;
    }
    }
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(mainframe().errorCount(), 0u) << "what the instrument queued was read and left no trace";
    EXPECT_EQ(joinedMessagesSent(), 1u) << "one joined read tried, then one query per message";
}

std::string caseName(const ::testing::TestParamInfo<HabitAndCommand>& info) {
    const sim::Fault habit = std::get<0>(info.param);
    const Command command = std::get<1>(info.param);
    const std::string habitName = habit == sim::Fault::RefuseRootSpecifier ? "NoRootSpecifier"
                                  : habit == sim::Fault::OneUnitPerMessage ? "OneUnitPerMessage"
                                                                           : "SmallInputBuffer";
    return habitName + (command == Command::Show ? "Show" : command == Command::Diff ? "Diff" : "Apply");
}

INSTANTIATE_TEST_SUITE_P(Habits, LesserInstruments,
                         ::testing::Combine(::testing::Values(sim::Fault::RefuseRootSpecifier,
                                                              sim::Fault::OneUnitPerMessage,
                                                              sim::Fault::SmallInputBuffer),
                                            ::testing::Values(Command::Show, Command::Diff, Command::Apply)),
                         caseName);

} // namespace
