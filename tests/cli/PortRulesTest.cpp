// pinwright-cli keeps every rule of the port the window keeps: names typed as people type them, each pin's
// functions, pin 2 as pin 1's fault common, the one-pin rule said once; it refuses before sending, and
// sends nothing that changes the instrument in a dry run.
#include "simbackend/SimBackend.h"
#include "simbackend/SimBoards.h"
#include "tests/cli/CliRun.h"
#include "tests/cli/SettingsReceived.h"
#include "tests/support/CaseTable.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using Strings = std::vector<std::string>;
constexpr unsigned kBoard = 11;
const std::string kResource = "SIM11::INSTR";

// Boards of this file's tests, served again at every use: a test of another file may have registered its
// own in between.
sim::Mainframe& Mainframe() {
    static const auto boards = std::make_shared<simbackend::SimBoards>();
    simbackend::registerSimBackend(boards);
    return boards->board(kBoard);
}

using Arrange = std::function<void(sim::PortState&)>;

void arrange(const Arrange& change) {
    Mainframe().reset();
    auto state = Mainframe().state();
    if (change)
        change(state);
    Mainframe().setState(state);
    Mainframe().traffic().clear();
}

struct TypedCase {
    const char* name;
    Strings arguments;
    std::function<bool(const sim::PortState&)> holds;
};

class TypedNames : public test_cases::Table<TypedCase, &TypedCase::name> {};

TEST_P(TypedNames, AreTakenInAnyCaseAndAsMnemonics) {
    arrange(nullptr);
    Strings arguments{"-r", kResource};
    arguments.insert(arguments.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    const auto result = runCliHere(arguments);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(GetParam().holds(Mainframe().state()));
}

INSTANTIATE_TEST_SUITE_P(Arguments, TypedNames,
                         ::testing::Values(TypedCase{"LowerCaseMnemonic",
                                                     {"pin", "5", "onc"},
                                                     [](const auto& s) {
                                                         return s.pinFunction[5] == "ONC";
                                                     }},
                                           TypedCase{"LowerCaseName",
                                                     {"pin", "5", "on couple"},
                                                     [](const auto& s) {
                                                         return s.pinFunction[5] == "ONC";
                                                     }},
                                           TypedCase{"CapitalisedPolarity",
                                                     {"pin", "6", "OFFC", "Negative"},
                                                     [](const auto& s) {
                                                         return s.pinFunction[6] == "OFFC" &&
                                                                s.pinPolarity[6] == "NEG";
                                                     }},
                                           TypedCase{"PolarityWord",
                                                     {"pin", "1", "fault", "NEG"},
                                                     [](const auto& s) {
                                                         return s.pinFunction[1] == "FAUL" &&
                                                                s.pinPolarity[1] == "NEG";
                                                     }},
                                           TypedCase{"ModeWord",
                                                     {"inhibit", "LIVE"},
                                                     [](const auto& s) {
                                                         return s.inhibitMode == "LIVE";
                                                     }},
                                           TypedCase{"CapitalisedMode",
                                                     {"inhibit", "Latching"},
                                                     [](const auto& s) {
                                                         return s.inhibitMode == "LATC";
                                                     }}),
                         test_cases::byName);

struct RefusedCase {
    const char* name;
    Arrange state;
    Strings arguments;
    int status;
    const char* message; // the whole of standard error
};

class RefusedBeforeSending : public test_cases::Table<RefusedCase, &RefusedCase::name> {};

TEST_P(RefusedBeforeSending, NamingTheRule) {
    arrange(GetParam().state);
    const auto before = Mainframe().state();
    Strings arguments{"-r", kResource};
    arguments.insert(arguments.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    const auto result = runCliHere(arguments);
    EXPECT_EQ(result.status, GetParam().status);
    EXPECT_EQ(result.err, GetParam().message);
    EXPECT_EQ(settingsReceived(Mainframe()), Strings{});
    EXPECT_EQ(Mainframe().state(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, RefusedBeforeSending,
    ::testing::Values(
        RefusedCase{
            "CouplingOnPinThree",
            nullptr,
            {"pin", "3", "On Couple"},
            2,
            "pinwright-cli: On Couple is offered on pins 4 to 7 only (pin 3 offers Digital IO, Digital "
            "Input, Trigger Out, Trigger In and Inhibit)\n"},
        RefusedCase{"FaultOnPinFive",
                    nullptr,
                    {"pin", "5", "FAUL"},
                    2,
                    "pinwright-cli: Fault is offered on pin 1 only (pin 5 offers Digital IO, Digital Input, "
                    "Trigger Out, Trigger In, On Couple and Off Couple)\n"},
        RefusedCase{
            "InhibitOnPinTwo",
            nullptr,
            {"pin", "2", "inhibit"},
            2,
            "pinwright-cli: Inhibit is offered on pin 3 only (pin 2 offers Digital IO, Digital Input, "
            "Trigger Out and Trigger In)\n"},
        RefusedCase{
            "PinTwoWhilePinOneIsFault",
            [](auto& s) { s.pinFunction[1] = "FAUL"; },
            {"pin", "2", "TOUT", "negative"},
            1,
            "pinwright-cli: SIM11::INSTR: pin 2 function: pin 1 is set to be a fault output, so pin 2 is "
            "its common and cannot be set; pin 2 was not changed\n"},
        RefusedCase{"CouplingHeldByTwoPins",
                    [](auto& s) {
                        s.pinFunction[5] = "ONC";
                        s.pinFunction[6] = "ONC";
                    },
                    {"pin", "4", "onc"},
                    1,
                    "pinwright-cli: SIM11::INSTR: pin 4 function: On Couple is already set for pins 5 and 6; "
                    "only one pin can be set to On Couple; pin 4 was not changed\n"},
        RefusedCase{"EmptyScpi",
                    nullptr,
                    {"scpi", ""},
                    2,
                    "pinwright-cli: scpi wants a command or query to send, not an empty text\n"}),
    test_cases::byName);

class ProfileFile : public ::testing::Test {
protected:
    void write(const std::string& body) {
        std::ofstream(file) << R"({"format": "pinwright-profile", "version": 1, )" << body << "}";
    }
    void TearDown() override { std::remove(file.c_str()); }
    const std::string file = ::testing::TempDir() + "port-rules-" + std::to_string(::getpid()) + ".json";
};

using ProfileNames = ProfileFile;

TEST_F(ProfileNames, AreReadAsArgumentsAreAndWrittenCanonically) {
    write(R"("pins": [{"pin": 5, "function": "ONC", "polarity": "Negative"}, {"pin": 1, "function": "fault"}],
             "inhibitMode": "Latching")");
    arrange(nullptr);
    const auto applied = runCliHere({"-r", kResource, "apply", file});
    ASSERT_EQ(applied.status, 0) << applied.err;
    EXPECT_EQ(applied.out, "pin 1 function: Digital IO -> Fault\n"
                           "pin 5 function: Digital IO -> On Couple\n"
                           "pin 5 polarity: positive -> negative\n"
                           "inhibit mode: off -> latching\n");
    const auto saved = runCliHere({"-r", kResource, "save", "-"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_NE(saved.out.find(R"("function": "On Couple",)"), std::string::npos) << saved.out;
    EXPECT_NE(saved.out.find(R"("inhibitMode": "latching")"), std::string::npos) << saved.out;
}

using DryRun = ProfileFile;

TEST_F(DryRun, WithResetSendsNothingAndPlansAgainstTheResetState) {
    write(R"("outputWord": 7, "pins": [{"pin": 3, "function": "Trigger Out"}])");
    arrange([](auto& s) { s.outputWord = 7; });
    for (const bool json : {false, true}) {
        Strings arguments{"-r", kResource, "--reset", "apply", "--dry-run", file};
        if (json)
            arguments.push_back("--json");
        const auto result = runCliHere(arguments);
        EXPECT_EQ(result.status, 0) << result.err;
        if (json) {
            EXPECT_NE(result.out.find(R"("sent": false)"), std::string::npos) << result.out;
            EXPECT_NE(result.out.find(R"("command": "DIG:OUTP:DATA 7")"), std::string::npos) << result.out;
        } else {
            EXPECT_EQ(result.out,
                      "reset: not sent in a dry run; a reset would set the output word from 7 to 0; "
                      "the plan starts from there\n"
                      "pin 3 function: Digital IO -> Trigger Out  [DIG:PIN3:FUNC TOUT]\n"
                      "output word: 0 -> 7  [DIG:OUTP:DATA 7]\n");
        }
    }
    EXPECT_EQ(settingsReceived(Mainframe()), Strings{});
    EXPECT_EQ(Mainframe().state().outputWord, 7);
}

TEST(Identify, AsksTheIdentityOnce) {
    arrange(nullptr);
    const auto result = runCliHere({"-r", kResource, "identify"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Korvane,MF-7,SIM0012,1.0\n");
    EXPECT_EQ(Mainframe().traffic().received(), Strings{"*IDN?"});
}

using Diff = ProfileFile;

TEST_F(Diff, SaysSoWhenThereIsNoDifference) {
    write(R"("outputWord": 0)");
    arrange(nullptr);
    const auto result = runCliHere({"-r", kResource, "diff", file});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "no differences\n");
}

TEST(Help, AndTheManualAgreeOnInputWaitWithItsTimeout) {
    const auto result = runCliHere({"--help"});
    EXPECT_NE(result.out.find("input [--watch | --wait PATTERN [--timeout MS]] [--interval MS]"),
              std::string::npos)
        << result.out;
    std::ifstream manual(PINWRIGHT_SOURCE_DIR "/packaging/man/pinwright-cli.1");
    const std::string page((std::istreambuf_iterator<char>(manual)), std::istreambuf_iterator<char>());
    EXPECT_NE(page.find(R"(input " \-\-wait \fIPATTERN\fP [\-\-timeout \fIMS\fP]")"), std::string::npos);
}

} // namespace
