// The apply plan against every arrangement of functions on pins 4 to 7: it sends only what differs,
// reaches the profile, and keeps the one-pin rule true after every step, or names what stands in the way.
#include "port/ApplyPlan.h"

#include "port/CouplingRule.h"
#include "port/ProfileCheck.h"
#include "tests/support/CaseTable.h"

#include <gtest/gtest.h>

namespace {

using ApplyPlan::ApplyStep;

const std::vector<std::optional<std::string>> kChoices{std::nullopt, "Digital IO", "On Couple", "Off Couple",
                                                       "Trigger Out"};

bool keepsTheRule(const PortSetup& setup) {
    for (const char* coupling : {"On Couple", "Off Couple"}) {
        int holders = 0;
        for (const auto& pin : setup.pins)
            holders += pin.function == coupling ? 1 : 0;
        if (holders > 1)
            return false;
    }
    return true;
}

std::size_t differingPins(const PortSetup& profile, const PortSetup& present) {
    std::size_t count = 0;
    for (std::size_t k = 0; k < profile.pins.size(); ++k)
        count += profile.pins[k].function && profile.pins[k].function != present.pins[k].function ? 1 : 0;
    return count;
}

// Two pins that each take the coupling function the other holds.
bool swapsCouplings(const PortSetup& profile, const PortSetup& present) {
    for (std::size_t p = 0; p < 7; ++p)
        for (std::size_t q = 0; q < 7; ++q)
            if (p != q && present.pins[p].function && present.pins[q].function &&
                profile.pins[p].function == present.pins[q].function &&
                profile.pins[q].function == present.pins[p].function &&
                CouplingRule::isCouplingFunction(*present.pins[p].function) &&
                CouplingRule::isCouplingFunction(*present.pins[q].function))
                return true;
    return false;
}

// Every set-up of pins 4 to 7 drawn from `choices` (pins 1 to 3 left unset) that keeps the rule.
std::vector<PortSetup> arrangements(std::size_t firstChoice) {
    std::vector<PortSetup> all;
    const std::size_t n = kChoices.size() - firstChoice;
    for (std::size_t code = 0; code < n * n * n * n; ++code) {
        PortSetup setup;
        std::size_t rest = code;
        for (std::size_t k = 3; k < 7; ++k, rest /= n)
            setup.pins[k].function = kChoices[firstChoice + rest % n];
        if (keepsTheRule(setup))
            all.push_back(setup);
    }
    return all;
}

TEST(ApplyPlan, EveryArrangementReachesTheProfileKeepingTheRuleAfterEveryStep) {
    int planned = 0, refused = 0;
    for (const PortSetup& present : arrangements(1)) {
        for (const PortSetup& profile : arrangements(0)) {
            const auto clashes = ProfileCheck::refusals(profile, present);
            if (!clashes.empty()) {
                ++refused;
                continue;
            }
            ++planned;
            PortSetup state = present;
            const auto steps = ApplyPlan::planApply(profile, present);
            EXPECT_LE(steps.size(),
                      differingPins(profile, present) + (swapsCouplings(profile, present) ? 1 : 0))
                << "more steps than the settings that differ, and one for a swap";
            for (const ApplyStep& step : steps) {
                ASSERT_EQ(step.kind, ApplyStep::Kind::Function);
                auto& function = state.pins[static_cast<std::size_t>(step.pin - 1)].function;
                ASSERT_NE(function, step.value) << "a step that changes nothing";
                ASSERT_EQ(step.change.from, *function);
                function = step.value;
                ASSERT_TRUE(keepsTheRule(state)) << step.change.setting << " -> " << step.value;
            }
            for (std::size_t k = 0; k < state.pins.size(); ++k)
                EXPECT_EQ(state.pins[k].function, profile.pins[k].function.has_value()
                                                      ? profile.pins[k].function
                                                      : present.pins[k].function);
        }
    }
    EXPECT_GT(planned, 10000);
    EXPECT_GT(refused, 100);
}

TEST(ApplyPlan, ClashNamesThePinTheProfileLeavesAlone) {
    PortSetup present;
    present.pins[6].function = "On Couple";
    PortSetup profile;
    profile.pins[4].function = "On Couple";
    EXPECT_EQ(
        ProfileCheck::refusals(profile, present),
        std::vector<std::string>{"the profile gives On Couple to pin 5, but it leaves pin 7 out, and pin 7 "
                                 "holds On Couple: give pin 7 another function in the profile"});
    profile.pins[6].function = "Off Couple";
    EXPECT_TRUE(ProfileCheck::refusals(profile, present).empty());
}

struct SettingRow {
    const char* name;
    PortSetup profile;
    PortSetup present;
    std::vector<std::string> commands;
};

class ApplyPlanSettings : public ::testing::TestWithParam<SettingRow> {};

TEST_P(ApplyPlanSettings, SendOnlyWhatDiffers) {
    std::vector<std::string> commands;
    for (const auto& step : ApplyPlan::planApply(GetParam().profile, GetParam().present))
        commands.push_back(step.commandText());
    EXPECT_EQ(commands, GetParam().commands);
}

PortSetup withPolarity(std::size_t pin, Polarity polarity) {
    PortSetup setup;
    setup.pins[pin - 1].polarity = polarity;
    return setup;
}
PortSetup withWordAndMode(std::optional<int> word, std::optional<InhibitMode> mode) {
    PortSetup setup;
    setup.outputWord = word;
    setup.inhibitMode = mode;
    return setup;
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ApplyPlanSettings,
    ::testing::Values(
        SettingRow{
            "SamePolarity", withPolarity(2, Polarity::Negative), withPolarity(2, Polarity::Negative), {}},
        SettingRow{"OtherPolarity",
                   withPolarity(2, Polarity::Negative),
                   withPolarity(2, Polarity::Positive),
                   {"DIG:PIN2:POL NEG"}},
        SettingRow{
            "UnknownPolarityIsSet", withPolarity(3, Polarity::Positive), PortSetup{}, {"DIG:PIN3:POL POS"}},
        SettingRow{"SameWordOtherMode",
                   withWordAndMode(5, InhibitMode::Live),
                   withWordAndMode(5, InhibitMode::Off),
                   {"OUTP:INH:MODE LIVE"}},
        SettingRow{"OtherWordSameMode",
                   withWordAndMode(0, InhibitMode::Off),
                   withWordAndMode(127, InhibitMode::Off),
                   {"DIG:OUTP:DATA 0"}},
        SettingRow{"LeftOutIsLeftAlone", PortSetup{}, withWordAndMode(9, InhibitMode::Latching), {}}),
    test_cases::byName);

} // namespace
