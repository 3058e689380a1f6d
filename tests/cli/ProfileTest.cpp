// Port profiles: saved from one simulated mainframe, applied to another with a different set-up.
#include "tests/cli/CliRun.h"
#include "tests/support/FreshBoards.h"
#include "tests/support/PortArrangement.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

using Strings = std::vector<std::string>;

const PortArrangement kSource{.functions = {{1, "FAUL"}, {3, "INH"}, {4, "OFFC"}, {5, "ONC"}, {7, "TINP"}},
                              .polarities = {{1, "NEG"}, {6, "NEG"}},
                              .outputWord = 0x55,
                              .inhibitMode = "LATC"};

// The coupling functions sit the other way round, so applying must free them before moving them.
const PortArrangement kTarget{.functions = {{4, "ONC"}, {5, "OFFC"}, {2, "TOUT"}},
                              .polarities = {{3, "NEG"}},
                              .outputWord = 3,
                              .inhibitMode = "LIVE"};

class ProfileRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        source().setState(kSource.over(source().state()));
        target().setState(kTarget.over(target().state()));
    }
    sim::Mainframe& source() { return boards_.board(1); }
    sim::Mainframe& target() { return boards_.board(2); }
    // The commands (not the queries and error checks) the target received.
    Strings settingsSent() {
        Strings settings;
        for (const auto& message : target().traffic().received())
            if (message.find(' ') != std::string::npos)
                settings.push_back(message);
        return settings;
    }

    // Each case runs in a process of its own, and ctest may run them side by side.
    const std::string file = ::testing::TempDir() + "round-trip-" + std::to_string(::getpid()) + ".json";

private:
    FreshBoards boards_;
};

TEST_F(ProfileRoundTrip, AppliedProfileMakesTheTargetEqualTheSource) {
    const auto saved = runCliHere({"-r", "SIM1::INSTR", "save", file});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(saved.out, "");

    const auto before = runCliHere({"-r", "SIM2::INSTR", "diff", file});
    EXPECT_EQ(before.status, 1);
    EXPECT_NE(before.out.find("pin 4 function: profile Off Couple, instrument On Couple\n"),
              std::string::npos)
        << before.out;
    EXPECT_NE(before.out.find("inhibit mode: profile latching, instrument live\n"), std::string::npos);

    target().traffic().clear();
    const auto applied = runCliHere({"-r", "SIM2::INSTR", "apply", file});
    EXPECT_EQ(applied.status, 0) << applied.err;
    EXPECT_EQ(applied.out, "pin 1 function: Digital IO -> Fault\n"
                           "pin 1 polarity: positive -> negative\n"
                           "pin 2 function: Trigger Out -> Digital IO\n"
                           "pin 3 function: Digital IO -> Inhibit\n"
                           "pin 3 polarity: negative -> positive\n"
                           "pin 4 function: On Couple -> Off Couple\n"
                           "pin 5 function: Off Couple -> On Couple\n"
                           "pin 6 polarity: positive -> negative\n"
                           "pin 7 function: Digital IO -> Trigger In\n"
                           "output word: 3 -> 85\n"
                           "inhibit mode: live -> latching\n");
    const auto expected = source().state(), result = target().state();
    for (int pin = 1; pin <= 7; ++pin) {
        EXPECT_EQ(result.pinFunction[pin], expected.pinFunction[pin]) << "pin " << pin;
        EXPECT_EQ(result.pinPolarity[pin], expected.pinPolarity[pin]) << "pin " << pin;
    }
    EXPECT_EQ(result.outputWord, 0x55);
    EXPECT_EQ(result.inhibitMode, "LATC");
    EXPECT_EQ(target().errorCount(), 0u);

    // Only what differs is sent; pins 4 and 5 swap couplings: pin 4 waits on Digital IO while pin 5
    // takes the coupling pin 4 gave up, then pin 4 takes pin 5's old one.
    EXPECT_EQ(settingsSent(),
              (Strings{"DIG:PIN4:FUNC DIO", "DIG:PIN5:FUNC ONC", "DIG:PIN1:FUNC FAUL", "DIG:PIN1:POL NEG",
                       "DIG:PIN2:FUNC DIO", "DIG:PIN3:FUNC INH", "DIG:PIN3:POL POS", "DIG:PIN4:FUNC OFFC",
                       "DIG:PIN6:POL NEG", "DIG:PIN7:FUNC TINP", "DIG:OUTP:DATA 85", "OUTP:INH:MODE LATC"}));

    EXPECT_EQ(runCliHere({"-r", "SIM2::INSTR", "diff", file}).status, 0);
    target().traffic().clear();
    const auto again = runCliHere({"-r", "SIM2::INSTR", "apply", file});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, "unchanged\n");
    for (const auto& message : target().traffic().received())
        EXPECT_EQ(message.back(), '?') << "the second apply sent a command: " << message;
}

TEST_F(ProfileRoundTrip, DryRunPrintsTheCommandsAndSendsNone) {
    ASSERT_EQ(runCliHere({"-r", "SIM1::INSTR", "save", file}).status, 0);
    target().traffic().clear();
    const auto dryRun = runCliHere({"-r", "SIM2::INSTR", "apply", "--dry-run", file});
    EXPECT_EQ(dryRun.status, 0) << dryRun.err;
    EXPECT_EQ(dryRun.out.substr(0, dryRun.out.find('\n', dryRun.out.find('\n') + 1) + 1),
              "pin 4 function: On Couple -> Digital IO  [DIG:PIN4:FUNC DIO]\n"
              "pin 5 function: Off Couple -> On Couple  [DIG:PIN5:FUNC ONC]\n");
    EXPECT_NE(dryRun.out.find("output word: 3 -> 85  [DIG:OUTP:DATA 85]\n"
                              "inhibit mode: live -> latching  [OUTP:INH:MODE LATC]\n"),
              std::string::npos)
        << dryRun.out;
    for (const auto& message : target().traffic().received())
        EXPECT_EQ(message.find(' '), std::string::npos) << "sent: " << message;
    EXPECT_EQ(target().state().pinFunction[4], "ONC");
}

TEST_F(ProfileRoundTrip, PartialProfileTouchesOnlyWhatItNames) {
    std::ofstream(file) << R"({"format": "pinwright-profile", "version": 1,
                              "pins": [{"pin": 7, "polarity": "negative"}]})";
    target().traffic().clear();
    const auto applied = runCliHere({"-r", "SIM2::INSTR", "apply", file});
    EXPECT_EQ(applied.status, 0) << applied.err;
    EXPECT_EQ(applied.out, "pin 7 polarity: positive -> negative\n");
    EXPECT_EQ(settingsSent(), (Strings{"DIG:PIN7:POL NEG"}));
}

} // namespace
