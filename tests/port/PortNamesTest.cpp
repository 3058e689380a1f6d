// Names as people type them: display names and mnemonics in any letter case, the canonical spelling back.
#include "port/PortNames.h"

#include "tests/support/CaseTable.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

struct FunctionName {
    const char* typed;
    std::optional<std::string> function; // none: refused
};

class FunctionNames : public test_cases::Table<FunctionName, &FunctionName::typed> {};

TEST_P(FunctionNames, ReadInAnyCaseAsTheDisplayName) {
    EXPECT_EQ(PortNames::functionFromName(GetParam().typed), GetParam().function);
}

INSTANTIATE_TEST_SUITE_P(
    Typed, FunctionNames,
    ::testing::Values(FunctionName{"On Couple", "On Couple"}, FunctionName{"on couple", "On Couple"},
                      FunctionName{"ON COUPLE", "On Couple"}, FunctionName{"onc", "On Couple"},
                      FunctionName{"ONC", "On Couple"}, FunctionName{"OFFC", "Off Couple"},
                      FunctionName{"digital io", "Digital IO"}, FunctionName{"Dinp", "Digital Input"},
                      FunctionName{"tout", "Trigger Out"}, FunctionName{"trigger in", "Trigger In"},
                      FunctionName{"faul", "Fault"}, FunctionName{"INHIBIT", "Inhibit"},
                      FunctionName{"on-couple", std::nullopt}, FunctionName{"OnCouple", std::nullopt},
                      FunctionName{" ONC", std::nullopt}, FunctionName{"", std::nullopt},
                      FunctionName{"ONCouple", std::nullopt}));

struct SettingName {
    const char* typed;
    std::optional<Polarity> polarity;
    std::optional<InhibitMode> mode;
};

class SettingNames : public test_cases::Table<SettingName, &SettingName::typed> {};

TEST_P(SettingNames, PolaritiesAndModesReadInAnyCase) {
    EXPECT_EQ(PortNames::polarityFromName(GetParam().typed), GetParam().polarity);
    EXPECT_EQ(PortNames::inhibitModeFromName(GetParam().typed), GetParam().mode);
}

INSTANTIATE_TEST_SUITE_P(Typed, SettingNames,
                         ::testing::Values(SettingName{"positive", Polarity::Positive, std::nullopt},
                                           SettingName{"Negative", Polarity::Negative, std::nullopt},
                                           SettingName{"NEG", Polarity::Negative, std::nullopt},
                                           SettingName{"pos", Polarity::Positive, std::nullopt},
                                           SettingName{"Latching", std::nullopt, InhibitMode::Latching},
                                           SettingName{"latc", std::nullopt, InhibitMode::Latching},
                                           SettingName{"LIVE", std::nullopt, InhibitMode::Live},
                                           SettingName{"Off", std::nullopt, InhibitMode::Off},
                                           SettingName{"LATCH", std::nullopt, std::nullopt},
                                           SettingName{"up", std::nullopt, std::nullopt}));

TEST(CanonicalNames, AreWhatIsPrintedAndReadBackToTheSameValue) {
    for (const auto polarity : {Polarity::Positive, Polarity::Negative})
        EXPECT_EQ(PortNames::polarityFromName(PortNames::polarityName(polarity)), polarity);
    for (const auto mode : {InhibitMode::Live, InhibitMode::Latching, InhibitMode::Off})
        EXPECT_EQ(PortNames::inhibitModeFromName(PortNames::inhibitModeName(mode)), mode);
    EXPECT_EQ(PortNames::polarityName(Polarity::Negative), "negative");
    EXPECT_EQ(PortNames::inhibitModeName(InhibitMode::Latching), "latching");
}

} // namespace
