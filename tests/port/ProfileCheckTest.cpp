// The port's rules as a front end asks them: each pin's functions, pin 2 as fault common, the one-pin
// rule said once, a profile against the present state, and the mainframes whose port is known.
#include "port/ProfileCheck.h"

#include "port/KnownMainframes.h"
#include "port/PortRules.h"
#include "tests/support/CaseTable.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

TEST(FunctionsOffered, AreTheWindowsListsPinByPin) {
    const Names common{"Digital IO", "Digital Input", "Trigger Out", "Trigger In"};
    const auto with = [&](Names extra) {
        Names names = common;
        names.insert(names.end(), extra.begin(), extra.end());
        return names;
    };
    EXPECT_EQ(PortRules::functionsOffered(1), with({"Fault"}));
    EXPECT_EQ(PortRules::functionsOffered(2), common);
    EXPECT_EQ(PortRules::functionsOffered(3), with({"Inhibit"}));
    for (std::int16_t pin = 4; pin <= 7; ++pin)
        EXPECT_EQ(PortRules::functionsOffered(pin), with({"On Couple", "Off Couple"})) << "pin " << pin;
    EXPECT_FALSE(PortRules::offers(0, "Digital IO"));
    EXPECT_FALSE(PortRules::offers(8, "Digital IO"));
    EXPECT_FALSE(PortRules::offers(1, "digital io"))
        << "names are canonical here; PortNames reads typed ones";
}

struct PinCase {
    const char* name;
    std::int16_t pin;
    const char* function;
    Names functionsPin1First;
    std::optional<std::string> refusal;
};

class PinChanges : public test_cases::Table<PinCase, &PinCase::name> {};

TEST_P(PinChanges, AreRefusedNamingTheRuleOnce) {
    TextTable functions;
    functions.resize(7);
    for (std::size_t pin = 1; pin <= 7; ++pin)
        functions[pin] = GetParam().functionsPin1First[pin - 1];
    EXPECT_EQ(PortRules::refusalForPin(GetParam().pin, GetParam().function, functions), GetParam().refusal);
}

const Names kAllDio(7, "Digital IO");
Names with(Names functions, std::size_t pin, const char* function) {
    functions[pin - 1] = function;
    return functions;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, PinChanges,
    ::testing::Values(
        PinCase{"CommonFunctionAnywhere", 2, "Trigger Out", kAllDio, std::nullopt},
        PinCase{"FaultOnPinOne", 1, "Fault", kAllDio, std::nullopt},
        PinCase{
            "FaultOnPinThree", 3, "Fault", kAllDio,
            "Fault is offered on pin 1 only (pin 3 offers Digital IO, Digital Input, Trigger Out, Trigger In "
            "and Inhibit)"},
        PinCase{
            "InhibitOnPinFive", 5, "Inhibit", kAllDio,
            "Inhibit is offered on pin 3 only (pin 5 offers Digital IO, Digital Input, Trigger Out, Trigger "
            "In, On Couple and Off Couple)"},
        PinCase{
            "CouplingOnPinThree", 3, "On Couple", kAllDio,
            "On Couple is offered on pins 4 to 7 only (pin 3 offers Digital IO, Digital Input, Trigger Out, "
            "Trigger In and Inhibit)"},
        PinCase{"PinTwoWhilePinOneIsFault", 2, "Trigger Out", with(kAllDio, 1, "Fault"),
                "pin 1 is set to be a fault output, so pin 2 is its common and cannot be set"},
        PinCase{"PinTwoOnceMore", 2, "Trigger Out", with(kAllDio, 1, "Trigger In"), std::nullopt},
        PinCase{"PinTwoWhilePinOneIsUnknown", 2, "Trigger Out", with(kAllDio, 1, ""), std::nullopt},
        PinCase{"CouplingHeldByTwoOthers", 4, "On Couple",
                with(with(kAllDio, 5, "On Couple"), 6, "On Couple"),
                "On Couple is already set for pins 5 and 6; only one pin can be set to On Couple"},
        PinCase{"CouplingHeldByItself", 5, "On Couple", with(kAllDio, 5, "On Couple"), std::nullopt},
        PinCase{"OtherCouplingHeld", 5, "On Couple", with(kAllDio, 6, "Off Couple"), std::nullopt}),
    test_cases::byName);

struct ProfileCase {
    const char* name;
    PortSetup profile;
    PortSetup present;
    Names refusals;
};

class ProfileAgainstState : public test_cases::Table<ProfileCase, &ProfileCase::name> {};

TEST_P(ProfileAgainstState, IsRefusedWholeSayingWhatWouldFixIt) {
    EXPECT_EQ(ProfileCheck::refusals(GetParam().profile, GetParam().present), GetParam().refusals);
}

PortSetup setup(std::vector<std::pair<std::size_t, const char*>> functions,
                std::optional<std::pair<std::size_t, Polarity>> polarity = std::nullopt) {
    PortSetup result;
    for (const auto& [pin, function] : functions)
        result.pins[pin - 1].function = function;
    if (polarity)
        result.pins[polarity->first - 1].polarity = polarity->second;
    return result;
}

PortSetup present(std::vector<std::pair<std::size_t, const char*>> functions) {
    PortSetup result;
    for (auto& pin : result.pins) {
        pin.function = "Digital IO";
        pin.polarity = Polarity::Positive;
    }
    for (const auto& [pin, function] : functions)
        result.pins[pin - 1].function = function;
    return result;
}

const char* const kPinTwoHeld =
    "pin 1 holds Fault, so pin 2 is its common and cannot be set: leave pin 2 out of "
    "the profile (or let it repeat what pin 2 holds), or give pin 1 another "
    "function in it";

INSTANTIATE_TEST_SUITE_P(
    Profiles, ProfileAgainstState,
    ::testing::Values(
        ProfileCase{"PinOneLeavesFaultAndPinTwoIsSet",
                    setup({{1, "Trigger In"}, {2, "Trigger Out"}}),
                    present({{1, "Fault"}}),
                    {}},
        ProfileCase{"PinOneTakesFaultAndPinTwoIsSetFirst",
                    setup({{1, "Fault"}, {2, "Trigger Out"}}),
                    present({}),
                    {}},
        ProfileCase{"PinOneStaysFaultAndPinTwoChanges",
                    setup({{2, "Trigger Out"}}),
                    present({{1, "Fault"}}),
                    {kPinTwoHeld}},
        ProfileCase{"PinOneRepeatsFaultAndPinTwoPolarityChanges",
                    setup({{1, "Fault"}}, {{2, Polarity::Negative}}),
                    present({{1, "Fault"}}),
                    {kPinTwoHeld}},
        ProfileCase{"PinTwoRepeatsWhatItHolds",
                    setup({{1, "Fault"}, {2, "Digital IO"}}, {{2, Polarity::Positive}}),
                    present({{1, "Fault"}}),
                    {}},
        ProfileCase{
            "CouplingHeldByAPinLeftOut",
            setup({{5, "On Couple"}}),
            present({{6, "On Couple"}}),
            {"the profile gives On Couple to pin 5, but it leaves pin 6 out, and pin 6 holds On Couple: "
             "give pin 6 another function in the profile"}},
        ProfileCase{
            "CouplingHeldByAPinWhoseFunctionIsLeftOut",
            setup({{5, "On Couple"}}, {{6, Polarity::Negative}}),
            present({{6, "On Couple"}}),
            {"the profile gives On Couple to pin 5, but it leaves pin 6's function out, and pin 6 holds On "
             "Couple: give pin 6 another function in the profile"}},
        ProfileCase{"CouplingHeldByTwoPinsLeftOut",
                    setup({{4, "On Couple"}}),
                    present({{5, "On Couple"}, {7, "On Couple"}}),
                    {"the profile gives On Couple to pin 4, but it leaves pins 5 and 7 out, and they hold On "
                     "Couple: give pins 5 and 7 another function in the profile"}},
        ProfileCase{"CouplingSwap",
                    setup({{4, "Off Couple"}, {5, "On Couple"}}),
                    present({{4, "On Couple"}, {5, "Off Couple"}}),
                    {}},
        ProfileCase{
            "FunctionNotOffered",
            setup({{3, "Fault"}}),
            present({}),
            {"the profile's pin 3: Fault is offered on pin 1 only (pin 3 offers Digital IO, Digital Input, "
             "Trigger Out, Trigger In and Inhibit)"}}),
    test_cases::byName);

struct IdentityCase {
    const char* name;
    const char* reply;
    bool known;
};

class Identities : public test_cases::Table<IdentityCase, &IdentityCase::name> {};

TEST_P(Identities, KnownOnlyForAKorvaneMainframeWithAKnownPort) {
    const auto why = KnownMainframes::whyUnknown(GetParam().reply);
    EXPECT_EQ(!why.has_value(), GetParam().known) << why.value_or("");
    if (why) {
        EXPECT_EQ(why->find_first_of("\r\n"), std::string::npos) << "shown on one line: " << *why;
    }
}

INSTANTIATE_TEST_SUITE_P(Replies, Identities,
                         ::testing::Values(IdentityCase{"Simulator", "Korvane,MF-7,SIM0001,1.0\n", true},
                                           IdentityCase{"OtherLetterCase", "KORVANE,mf-7,X,2", true},
                                           IdentityCase{"OtherMaker", "Acme,MF-7,X,1\n", false},
                                           IdentityCase{"OtherModel", "Korvane,PS-3,X,1\n", false},
                                           IdentityCase{"NoFields", "0\n", false},
                                           IdentityCase{"NewlineInside", "Acme\nInjected,X,Y,Z\n", false}),
                         test_cases::byName);

TEST(Identities, UnknownOneIsShownEscaped) {
    EXPECT_EQ(KnownMainframes::whyUnknown("Acme\nInjected,X\n"),
              "the identity \"Acme\\x0AInjected,X\" is not a Korvane mainframe with a known port (MF-7)");
}

} // namespace
