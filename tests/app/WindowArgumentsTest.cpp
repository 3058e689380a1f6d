// The window's command line: --help and --version answer without a display; one resource string fills
// the connection dialog; anything else is a usage error.
#include "app/WindowArguments.h"

#include "tests/support/CaseTable.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace {

struct ArgumentsRow {
    const char* name;
    std::vector<std::string> arguments;
    bool help;
    bool version;
    std::optional<std::string> resource;
    const char* error; // empty: accepted
};

class WindowArgumentRows : public ::testing::TestWithParam<ArgumentsRow> {};

TEST_P(WindowArgumentRows, Parse) {
    const auto& row = GetParam();
    const auto parsed = WindowArguments::parse(row.arguments);
    EXPECT_EQ(parsed.help, row.help);
    EXPECT_EQ(parsed.version, row.version);
    EXPECT_EQ(parsed.resource, row.resource);
    EXPECT_NE(parsed.error.find(row.error), std::string::npos) << parsed.error;
    EXPECT_EQ(parsed.error.empty(), std::string(row.error).empty()) << parsed.error;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, WindowArgumentRows,
    ::testing::Values(
        ArgumentsRow{"Nothing", {}, false, false, std::nullopt, ""},
        ArgumentsRow{"Resource", {"TCPIP0::10.1.2.3::INSTR"}, false, false, "TCPIP0::10.1.2.3::INSTR", ""},
        ArgumentsRow{"Help", {"--help"}, true, false, std::nullopt, ""},
        ArgumentsRow{"ShortHelp", {"-h"}, true, false, std::nullopt, ""},
        ArgumentsRow{"Version", {"--version"}, false, true, std::nullopt, ""},
        ArgumentsRow{"TwoResources",
                     {"SIM0::INSTR", "SIM1::INSTR"},
                     false,
                     false,
                     "SIM0::INSTR",
                     "only one resource string"},
        ArgumentsRow{
            "UnknownOption", {"--resource"}, false, false, std::nullopt, "unknown option --resource"}),
    test_cases::byName);

TEST(WindowProgram, AnswersHelpAndVersionWithoutADisplay) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    for (const char* option : {"--version", "--help"}) {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(PINWRIGHT_PROGRAM, {option});
        ASSERT_TRUE(program.waitForFinished(20000)) << option;
        EXPECT_EQ(program.exitCode(), 0) << option;
        const QString said = QString::fromLocal8Bit(program.readAllStandardOutput());
        EXPECT_TRUE(said.startsWith(option == std::string("--version") ? "pinwright " : "Usage: pinwright"))
            << said.toStdString();
    }
}

} // namespace
