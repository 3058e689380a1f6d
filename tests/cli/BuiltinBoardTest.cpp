// The built-in simulated mainframe as a script sees it: each pinwright-cli call is a program of its own,
// and SIM0::INSTR keeps what the last call left, as a mainframe left switched on does, until reset-builtin.
// The tests' main points XDG_STATE_HOME at a directory of this test run's own.
#include "tests/cli/CliRun.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::string kProfile = ::testing::TempDir() + "builtin-" + std::to_string(::getpid()) + ".json";

// One call of a script, and what it must print.
struct ScriptStep {
    std::vector<std::string> arguments;
    int status;
    std::string says; // found in standard output
};

std::string shown(const ScriptStep& step) {
    std::string text = "pinwright-cli";
    for (const auto& argument : step.arguments)
        text += " " + argument;
    return text;
}

TEST(BuiltinBoard, RemembersBetweenCallsUntilReset) {
    std::ofstream(kProfile) << R"({"format": "pinwright-profile", "version": 1,
        "pins": [{"pin": 4, "function": "Off Couple"}], "outputWord": 6})";
    const ScriptStep script[] = {
        {{"-r", "SIM0::INSTR", "pin", "5", "On Couple"}, 0, ""},
        {{"-r", "SIM0::INSTR", "show"}, 0, "pin 5: On Couple, positive\n"},
        {{"-r", "SIM0::INSTR", "apply", kProfile}, 0, "output word: 0 -> 6"},
        {{"-r", "SIM0::INSTR", "apply", kProfile}, 0, "unchanged\n"},
        {{"-r", "SIM0::INSTR", "diff", kProfile}, 0, ""},
        {{"-r", "SIM1::INSTR", "show"}, 0, "pin 5: Digital IO, positive\n"},
        {{"reset-builtin"},
         0,
         "the built-in mainframes are at their power-on state (1 saved set-up forgotten"},
        {{"-r", "SIM0::INSTR", "show"}, 0, "pin 5: Digital IO, positive\n"},
        {{"-r", "SIM0::INSTR", "diff", kProfile}, 1, "output word: profile 6, instrument 0\n"},
    };
    for (const ScriptStep& step : script) {
        SCOPED_TRACE(shown(step));
        const auto result = runCliProcess(step.arguments);
        EXPECT_EQ(result.status, step.status) << result.err;
        EXPECT_NE(result.out.find(step.says), std::string::npos) << result.out;
    }
    std::remove(kProfile.c_str());
}

TEST(BuiltinBoard, KeepsItsSettingsInTheUsersStateDirectory) {
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    ASSERT_NE(stateHome, nullptr) << "the tests' main sets it";
    const auto result = runCliProcess({"-r", "SIM3::INSTR", "output", "17"});
    ASSERT_EQ(result.status, 0) << result.err;
    std::ifstream file(fs::path(stateHome) / "pinwright" / "board3.state");
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_NE(text.str().find("output-word 17\n"), std::string::npos) << text.str();
    EXPECT_EQ(fs::status(fs::path(stateHome) / "pinwright").permissions() & fs::perms::all,
              fs::perms::owner_all);
}

TEST(BuiltinBoard, AnUnusableStateDirectoryIsSaidAndExitsThree) {
    const std::string notADirectory = ::testing::TempDir() + "state-file-" + std::to_string(::getpid());
    std::ofstream(notADirectory) << "a file where the state directory should be";
    const std::string before = std::getenv("XDG_STATE_HOME");
    ::setenv("XDG_STATE_HOME", notADirectory.c_str(), 1);
    const auto result = runCliProcess({"-r", "SIM0::INSTR", "show"});
    ::setenv("XDG_STATE_HOME", before.c_str(), 1);
    std::remove(notADirectory.c_str());
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.err.find(
                  "pinwright-cli: SIM0::INSTR: connecting: cannot keep the built-in mainframe's settings: "),
              std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line";
}

} // namespace
