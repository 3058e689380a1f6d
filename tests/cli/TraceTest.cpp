// The I/O trace: one line per message written or reply read, with a monotonic microsecond timestamp,
// the resource and the direction, control characters escaped so that a line never breaks.
#include "tests/cli/CliRun.h"
#include "tests/support/CaseTable.h"
#include "tests/support/FreshBoards.h"
#include "visa/TraceLog.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>

namespace {

struct EscapeRow {
    const char* name;
    std::string message;
    const char* line;
};

class TraceLines : public ::testing::TestWithParam<EscapeRow> {};

TEST_P(TraceLines, EscapeWithoutLoss) {
    EXPECT_EQ(visa::TraceLog::formatLine(std::chrono::microseconds(1234567), "SIM0::INSTR",
                                         visa::TraceDirection::Read, GetParam().message),
              GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, TraceLines,
    ::testing::Values(EscapeRow{"Plain", "+0,\"No error\"", "1234567 SIM0::INSTR <- +0,\"No error\"\n"},
                      EscapeRow{"Terminators", "POS\r\n", "1234567 SIM0::INSTR <- POS\\r\\n\n"},
                      EscapeRow{"Backslash", "a\\nb", "1234567 SIM0::INSTR <- a\\\\nb\n"},
                      EscapeRow{"Binary", std::string("\x00\x7f\xfe\t", 4),
                                "1234567 SIM0::INSTR <- \\x00\\x7F\\xFE\\t\n"}),
    test_cases::byName);

// The port is read before it is changed, in one message.
constexpr const char* kPortQuery =
    "DIG:OUTP:DATA?;:DIG:PIN1:FUNC?;:DIG:PIN1:POL?;:DIG:PIN2:FUNC?;:DIG:PIN2:POL?;:DIG:PIN3:FUNC?;:DIG:PIN3:"
    "POL?;:DIG:PIN4:FUNC?;:DIG:PIN4:POL?;:DIG:PIN5:FUNC?;:DIG:PIN5:POL?;:DIG:PIN6:FUNC?;:DIG:PIN6:POL?;:DIG:"
    "PIN7:FUNC?;:DIG:PIN7:POL?;:OUTP:INH:MODE?";
constexpr const char* kPortReply = "+0;DIO;POS;DIO;POS;DIO;POS;DIO;POS;DIO;POS;DIO;POS;DIO;POS;OFF\\n";

TEST(TraceFile, RecordsEveryExchangeInOrderWithRisingTimestamps) {
    const FreshBoards boards;
    const std::string file = ::testing::TempDir() + "trace.log";
    std::remove(file.c_str());
    ::setenv("PINWRIGHT_TRACE", file.c_str(), 1);
    const auto result = runCliHere({"-r", "SIM5::INSTR", "output", "12"});
    ::unsetenv("PINWRIGHT_TRACE");
    ASSERT_EQ(result.status, 0) << result.err;

    std::ifstream trace(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(trace, line);)
        lines.push_back(line);
    const std::regex shape(R"((\d+) SIM5::INSTR (->|<-) (.*))");
    const std::vector<std::pair<std::string, std::string>> expected = {{"->", "*IDN?"},
                                                                       {"<-", "Korvane,MF-7,SIM0006,1.0\\n"},
                                                                       {"->", kPortQuery},
                                                                       {"<-", kPortReply},
                                                                       {"->", "DIG:OUTP:DATA 12"},
                                                                       {"->", "SYST:ERR?"},
                                                                       {"<-", "+0,\"No error\"\\n"}};
    ASSERT_EQ(lines.size(), expected.size());
    long long previous = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, shape)) << lines[i];
        EXPECT_GE(std::stoll(match[1]), previous);
        previous = std::stoll(match[1]);
        EXPECT_EQ(match[2], expected[i].first);
        EXPECT_EQ(match[3], expected[i].second);
    }
}

} // namespace
