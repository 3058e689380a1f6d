// The command line as the command table reads it: options anywhere, both long forms, repeated -r, the
// resource from the environment, and operands that look like options after "--".
#include "cli/CliArguments.h"
#include "cli/CommandTable.h"
#include "tests/support/CaseTable.h"

#include <gtest/gtest.h>

namespace {

using Strings = std::vector<std::string>;

struct AcceptedRow {
    const char* name;
    Strings arguments;
    const char* environment;
    const char* command;
    Strings resources;
    Strings operands;
};

class AcceptedCommandLines : public ::testing::TestWithParam<AcceptedRow> {};

TEST_P(AcceptedCommandLines, NameTheCommandItsResourcesAndOperands) {
    const auto& row = GetParam();
    const auto parsed = cli::CliArguments::parse(row.arguments, row.environment);
    ASSERT_NE(parsed.command, nullptr);
    EXPECT_STREQ(parsed.command->name, row.command);
    EXPECT_EQ(parsed.resources, row.resources);
    EXPECT_EQ(parsed.operands, row.operands);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, AcceptedCommandLines,
    ::testing::Values(
        AcceptedRow{"OptionsAfterTheCommand",
                    {"show", "-r", "A", "--resource=B", "--json"},
                    nullptr,
                    "show",
                    {"A", "B"},
                    {}},
        AcceptedRow{"EnvironmentWhenNoResource", {"pin", "5", "ONC"}, "ENV", "pin", {"ENV"}, {"5", "ONC"}},
        AcceptedRow{"ResourceOverEnvironment", {"-r", "A", "input"}, "ENV", "input", {"A"}, {}},
        AcceptedRow{"OperandLikeAnOptionAfterDashes",
                    {"-r", "A", "scpi", "--", "DIG:PIN1:POL", "-x"},
                    nullptr,
                    "scpi",
                    {"A"},
                    {"DIG:PIN1:POL", "-x"}},
        AcceptedRow{"StandardOutputAsFile", {"-r", "A", "save", "-"}, nullptr, "save", {"A"}, {"-"}}),
    test_cases::byName);

TEST(CommandLineValues, NumbersAndFlagsReachTheirFields) {
    const auto parsed =
        cli::CliArguments::parse({"-r", "A", "-j", "3", "--timeout=250", "--lock-timeout", "0", "--no-lock",
                                  "input", "--wait", "1xxxxx0", "--interval", "20"},
                                 nullptr);
    EXPECT_EQ(parsed.jobs, 3);
    EXPECT_EQ(parsed.timeoutMs, 250);
    EXPECT_TRUE(parsed.timeoutGiven);
    EXPECT_EQ(parsed.lockTimeoutMs, 0);
    EXPECT_TRUE(parsed.noLock);
    EXPECT_EQ(parsed.waitPattern, "1xxxxx0");
    EXPECT_EQ(parsed.intervalMs, 20);

    const auto defaults = cli::CliArguments::parse({"-r", "A", "apply", "f"}, nullptr);
    EXPECT_EQ(defaults.jobs, 32);
    EXPECT_EQ(defaults.timeoutMs, 5000);
    EXPECT_FALSE(defaults.timeoutGiven);
    EXPECT_EQ(defaults.lockTimeoutMs, 10000);
    EXPECT_FALSE(defaults.noLock);
}

TEST(CommandLineHelp, NamesEveryCommandOfTheTableAndNeedsNoResource) {
    const auto parsed = cli::CliArguments::parse({"--help"}, nullptr);
    EXPECT_TRUE(parsed.help);
    const std::string usage = cli::cliUsage();
    for (const auto& command : cli::commandTable())
        EXPECT_NE(usage.find("\n  " + std::string(command.name) + (*command.synopsis != '\0' ? " " : "")),
                  std::string::npos)
            << command.name;
}

} // namespace
