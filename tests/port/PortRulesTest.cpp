// The window's rules as plain functions: the output word from the per-pin digits, the one-pin rule for
// the coupling functions and the inhibit mode words.
#include "port/CouplingRule.h"
#include "port/InhibitMode.h"
#include "port/OutputWord.h"
#include "port/OutputWordOverflow.h"
#include "port/Polarity.h"
#include "tests/support/CaseTable.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

using Digits = std::array<std::int16_t, 7>;

struct WordRow {
    const char* name;
    Digits digitsPin1First;
    std::optional<std::int16_t> word; // none: overflow
};

class OutputWordRows : public ::testing::TestWithParam<WordRow> {};

TEST_P(OutputWordRows, SumsTheWeightsExactlyOrRefuses) {
    const auto& row = GetParam();
    if (row.word) {
        EXPECT_EQ(outputWordFromDigits(row.digitsPin1First), *row.word);
    } else {
        EXPECT_THROW(outputWordFromDigits(row.digitsPin1First), OutputWordOverflow);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Digits, OutputWordRows,
    ::testing::Values(WordRow{"AllZero", {0, 0, 0, 0, 0, 0, 0}, 0},
                      WordRow{"AllOne", {1, 1, 1, 1, 1, 1, 1}, 127},
                      WordRow{"PinsOneAndThree", {1, 0, 1, 0, 0, 0, 0}, 5},
                      WordRow{"PinSevenAlone", {0, 0, 0, 0, 0, 0, 1}, 64},
                      WordRow{"DigitTwoCountsTwice", {2, 0, 0, 0, 0, 0, 0}, 2},
                      WordRow{"NegativeDigitSubtracts", {-1, 0, 0, 0, 0, 0, 0}, -1},
                      WordRow{"LargestWord", {0, 0, 0, 0, 0, 0, 511}, 32704},
                      WordRow{"OneAboveTheRange", {0, 0, 0, 0, 0, 0, 512}, std::nullopt},
                      WordRow{"BelowTheRange", {0, 0, 0, 0, 0, 0, -513}, std::nullopt},
                      // A product that a 16-bit term would wrap to a small number.
                      WordRow{"HugeDigitIsNotTruncated", {0, 0, 0, 0, 0, 0, 32767}, std::nullopt}),
    test_cases::byName);

struct ClashRow {
    const char* name;
    std::vector<std::string> functionsPin1First;
    const char* asked;
    std::int16_t pin;
    std::vector<std::int16_t> holders;
};

class CouplingRows : public ::testing::TestWithParam<ClashRow> {};

TEST_P(CouplingRows, NamesEveryOtherPinOfFourToSevenThatHoldsTheFunction) {
    const auto& row = GetParam();
    TextTable functions;
    functions.resize(7);
    for (std::size_t k = 0; k < row.functionsPin1First.size(); ++k)
        functions[k + 1] = row.functionsPin1First[k];
    EXPECT_EQ(CouplingRule::pinsHolding(row.asked, row.pin, functions), row.holders);
}

const std::string kDio = "Digital IO";
INSTANTIATE_TEST_SUITE_P(
    States, CouplingRows,
    ::testing::Values(
        ClashRow{"FreePort", {kDio, kDio, kDio, kDio, kDio, kDio, kDio}, "On Couple", 4, {}},
        ClashRow{"HeldOnPinSix", {kDio, kDio, kDio, kDio, kDio, "On Couple", kDio}, "On Couple", 4, {6}},
        ClashRow{"TwoHoldersBothNamed",
                 {kDio, kDio, kDio, kDio, kDio, "Off Couple", "Off Couple"},
                 "Off Couple",
                 5,
                 {6, 7}},
        ClashRow{"ThePinItselfNeverClashes",
                 {kDio, kDio, kDio, "On Couple", kDio, kDio, kDio},
                 "On Couple",
                 4,
                 {}},
        ClashRow{"TheOtherCouplingDoesNotCount",
                 {kDio, kDio, kDio, kDio, "Off Couple", kDio, kDio},
                 "On Couple",
                 4,
                 {}},
        ClashRow{"PinsOneToThreeDoNotCount",
                 {"On Couple", "On Couple", "On Couple", kDio, kDio, kDio, kDio},
                 "On Couple",
                 7,
                 {}},
        ClashRow{"AnUnreadPinDoesNotClash", {kDio, kDio, kDio, "", "", "", ""}, "On Couple", 5, {}}),
    test_cases::byName);

TEST(CouplingRule, OnlyTheExactNamesStartTheRule) {
    for (const char* name : {"On Couple", "Off Couple"})
        EXPECT_TRUE(CouplingRule::isCouplingFunction(name)) << name;
    for (const char* name : {"on couple", "On Couple ", " Off Couple", "ONC", "", "Trigger Out"})
        EXPECT_FALSE(CouplingRule::isCouplingFunction(name)) << name;
}

TEST(CouplingRule, ClashMessageNamesThePinThatHoldsIt) {
    EXPECT_EQ(CouplingRule::clashMessage("On Couple", 6),
              "On Couple is already set for pin 6.  Only one pin can be set to On Couple.");
}

TEST(InhibitMode, WordsRoundTripAndOnlyExactRepliesAreRecognised) {
    for (const auto mode : {InhibitMode::Live, InhibitMode::Latching, InhibitMode::Off})
        EXPECT_EQ(inhibitModeFromReply(inhibitModeWord(mode)), mode);
    EXPECT_EQ(inhibitModeWord(InhibitMode::Latching), "LATC");
    EXPECT_EQ(inhibitModeWord(InhibitMode::None), "");
    for (const char* reply : {"", "latc", "LATCH", " OFF", "LIVE\r"})
        EXPECT_EQ(inhibitModeFromReply(reply), InhibitMode::None) << reply;
}

TEST(Polarity, WordsRoundTripAndOnlyExactRepliesAreRecognised) {
    for (const auto polarity : {Polarity::Positive, Polarity::Negative})
        EXPECT_EQ(polarityFromReply(polarityWord(polarity)), polarity);
    EXPECT_EQ(polarityWord(Polarity::Negative), "NEG");
    EXPECT_EQ(polarityWord(Polarity::None), "");
    for (const char* reply : {"", "pos", "POSITIVE", " NEG", "NEG\r", "POS\n"})
        EXPECT_EQ(polarityFromReply(reply), Polarity::None) << reply;
}

} // namespace
