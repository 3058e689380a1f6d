// Profiles over every pin and function, pin 1 and pin 2 together and the coupling functions on pins 4 to 7,
// from several starting states: each that apply --dry-run accepts is applied whole by the simulated
// mainframe, without an error, and each it refuses is refused whole by apply too, with nothing sent.
#include "simbackend/SimBackend.h"
#include "simbackend/SimBoards.h"
#include "tests/cli/CliRun.h"
#include "tests/cli/SettingsReceived.h"

#include <array>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

namespace {

using Strings = std::vector<std::string>;
const std::string kResource = "SIM15::INSTR";
constexpr std::array<const char*, 8> kFunctions{"DIO", "DINP", "TOUT", "TINP", "FAUL", "INH", "ONC", "OFFC"};

// Boards of this file's tests, served again at every use: a test of another file may have registered its
// own in between.
sim::Mainframe& Mainframe() {
    static const auto boards = std::make_shared<simbackend::SimBoards>();
    simbackend::registerSimBackend(boards);
    return boards->board(15);
}

// A profile's pins: a function (mnemonic) and a polarity word for some of them.
struct PinEntry {
    int pin;
    std::optional<std::string> function;
    std::optional<std::string> polarity;
};
using Profile = std::vector<PinEntry>;

std::string json(const Profile& profile) {
    std::string pins;
    for (const auto& entry : profile) {
        pins += (pins.empty() ? "" : ", ") + std::string("{\"pin\": ") + std::to_string(entry.pin);
        if (entry.function)
            pins += ", \"function\": \"" + *entry.function + "\"";
        if (entry.polarity)
            pins += ", \"polarity\": \"" + *entry.polarity + "\"";
        pins += "}";
    }
    return R"({"format": "pinwright-profile", "version": 1, "outputWord": 5, "pins": [)" + pins + "]}";
}

std::vector<sim::PortState> startingStates() {
    sim::PortState plain;
    for (int pin = 1; pin <= 7; ++pin) {
        plain.pinFunction[pin] = "DIO";
        plain.pinPolarity[pin] = "POS";
    }
    plain.inhibitMode = "OFF";
    auto faultAndCouplings = plain;
    faultAndCouplings.pinFunction[1] = "FAUL";
    faultAndCouplings.pinFunction[4] = "ONC";
    faultAndCouplings.pinFunction[5] = "OFFC";
    faultAndCouplings.outputWord = 7;
    auto inhibitAndCouplings = plain;
    inhibitAndCouplings.pinFunction[1] = "TINP";
    inhibitAndCouplings.pinFunction[3] = "INH";
    inhibitAndCouplings.pinFunction[6] = "ONC";
    inhibitAndCouplings.pinFunction[7] = "OFFC";
    // Two pins holding one coupling function, as another client may have left them.
    auto doubleCoupling = plain;
    doubleCoupling.pinFunction[1] = "FAUL";
    doubleCoupling.pinFunction[5] = "ONC";
    doubleCoupling.pinFunction[6] = "ONC";
    return {plain, faultAndCouplings, inhibitAndCouplings, doubleCoupling};
}

std::vector<Profile> profiles() {
    std::vector<Profile> all;
    for (int pin = 1; pin <= 7; ++pin)
        for (const char* function : kFunctions)
            all.push_back({{pin, function, "NEG"}});
    for (const auto& pin1 : {std::optional<std::string>(), std::optional<std::string>("DIO"),
                             std::optional<std::string>("FAUL"), std::optional<std::string>("TINP")})
        for (const auto& pin2 :
             {std::optional<PinEntry>(), std::optional<PinEntry>({2, "TOUT", std::nullopt}),
              std::optional<PinEntry>({2, "DIO", "NEG"}), std::optional<PinEntry>({2, "DIO", "POS"})}) {
            Profile profile;
            if (pin1)
                profile.push_back({1, pin1, std::nullopt});
            if (pin2)
                profile.push_back(*pin2);
            all.push_back(profile);
        }
    const std::array<const char*, 4> couplingChoices{nullptr, "ONC", "OFFC", "TOUT"};
    for (int code = 0; code < 4 * 4 * 4 * 4; ++code) {
        Profile profile;
        for (int pin = 4, rest = code; pin <= 7; ++pin, rest /= 4)
            if (const char* function = couplingChoices[static_cast<std::size_t>(rest % 4)])
                profile.push_back({pin, function, std::nullopt});
        all.push_back(profile);
    }
    return all;
}

TEST(EveryProfile, IsRefusedWholeBeforeSendingOrAppliedWhole) {
    const std::string file = ::testing::TempDir() + "whole-" + std::to_string(::getpid()) + ".json";
    int applied = 0, refused = 0;
    for (const auto& start : startingStates()) {
        for (const auto& profile : profiles()) {
            std::ofstream(file, std::ios::trunc) << json(profile);
            const std::string shown = json(profile) + " from pin 1 " + start.pinFunction[1];
            Mainframe().reset();
            Mainframe().setState(start);
            Mainframe().traffic().clear();
            const auto planned = runCliHere({"-r", kResource, "apply", "--dry-run", file});
            ASSERT_EQ(settingsReceived(Mainframe()), Strings{}) << shown;
            const auto result = runCliHere({"-r", kResource, "apply", file});
            if (planned.status != 0) {
                ++refused;
                ASSERT_TRUE(planned.status == 1 || planned.status == 2) << shown << planned.err;
                ASSERT_EQ(result.status, planned.status) << shown << result.err;
                ASSERT_EQ(settingsReceived(Mainframe()), Strings{}) << shown;
                ASSERT_EQ(Mainframe().state(), start) << shown;
                continue;
            }
            ++applied;
            ASSERT_EQ(result.status, 0) << shown << ": " << result.err;
            ASSERT_EQ(Mainframe().errorCount(), 0u) << shown;
            const auto state = Mainframe().state();
            for (int pin = 1; pin <= 7; ++pin) {
                const auto entry = std::find_if(profile.begin(), profile.end(),
                                                [&](const PinEntry& e) { return e.pin == pin; });
                const bool named = entry != profile.end();
                EXPECT_EQ(state.pinFunction[pin],
                          named && entry->function ? *entry->function : start.pinFunction[pin])
                    << shown << " pin " << pin;
                EXPECT_EQ(state.pinPolarity[pin],
                          named && entry->polarity ? *entry->polarity : start.pinPolarity[pin])
                    << shown << " pin " << pin;
            }
            EXPECT_EQ(state.outputWord, 5) << shown;
        }
    }
    std::remove(file.c_str());
    EXPECT_GT(applied, 500);
    EXPECT_GT(refused, 100);
}

} // namespace
