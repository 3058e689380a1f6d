// Case folding and line splitting of protocol text: only ASCII letters change case, and a line is taken
// only once its line feed has come.
#include "base/AsciiCase.h"
#include "base/TakeLine.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

struct CaseRow {
    std::string text;
    std::string lower;
    std::string upper;
};

class AsciiCaseRows : public testing::TestWithParam<CaseRow> {};

TEST_P(AsciiCaseRows, FoldOnlyAsciiLetters) {
    EXPECT_EQ(base::asciiLower(GetParam().text), GetParam().lower);
    EXPECT_EQ(base::asciiUpper(GetParam().text), GetParam().upper);
    EXPECT_TRUE(base::asciiEqualIgnoringCase(GetParam().text, GetParam().lower));
    EXPECT_TRUE(base::asciiEqualIgnoringCase(GetParam().upper, GetParam().text));
}

TEST(AsciiCase, EqualityIgnoresOnlyTheCaseOfLetters) {
    // A fold by bit 5 alone would take the neighbours of the letter ranges for each other's case.
    EXPECT_FALSE(base::asciiEqualIgnoringCase("@[", "`{"));
    EXPECT_FALSE(base::asciiEqualIgnoringCase("DIG", "DIGI"));
    EXPECT_FALSE(base::asciiEqualIgnoringCase("\xC3\x84", "\xC3\xA4")); // UTF-8 "Ä" and "ä"
    EXPECT_TRUE(base::asciiEqualIgnoringCase("", ""));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AsciiCaseRows,
    testing::Values(CaseRow{"", "", ""}, CaseRow{"hiSLIP0,4880", "hislip0,4880", "HISLIP0,4880"},
                    // The neighbours of the letter ranges, and bytes above 127 (UTF-8 "Ä"), stay as they are.
                    CaseRow{"@[`{Az", "@[`{az", "@[`{AZ"},
                    CaseRow{"\xC3\x84x\xFF", "\xC3\x84x\xFF", "\xC3\x84X\xFF"}));

TEST(TakeLine, TakesOneWholeLineAtATimeAndLeavesTheRest) {
    std::string received = "+1\n+2\n+3";
    EXPECT_EQ(base::takeLine(received), std::optional<std::string>("+1\n"));
    EXPECT_EQ(base::takeLine(received), std::optional<std::string>("+2\n"));
    EXPECT_EQ(base::takeLine(received), std::nullopt);
    EXPECT_EQ(received, "+3");
    received += "\n";
    EXPECT_EQ(base::takeLine(received), std::optional<std::string>("+3\n"));
    EXPECT_EQ(received, "");
    EXPECT_EQ(base::takeLine(received), std::nullopt);
}

} // namespace
