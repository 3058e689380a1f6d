// What pinwright-cli refuses, with which exit status and message, and that a refusal before the
// instrument is opened sends nothing.
#include "tests/cli/CliRun.h"
#include "tests/cli/ServedInstrument.h"
#include "tests/support/AnsweringPeer.h"
#include "tests/support/CaseTable.h"
#include "tests/support/FreshBoards.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

using Strings = std::vector<std::string>;
constexpr unsigned kBoard = 7;
const std::string kResource = "SIM7::INSTR";

// The built-in board the resource names, of this test alone.
class OnFreshBoard : public ::testing::Test {
protected:
    sim::Mainframe& Mainframe() { return boards_.board(kBoard); }

private:
    FreshBoards boards_;
};

struct UsageRow {
    const char* name;
    Strings arguments;
    const char* message;
};

class UsageRefusals : public OnFreshBoard, public ::testing::WithParamInterface<UsageRow> {};

TEST_P(UsageRefusals, ExitTwoAndSendNothing) {
    const auto result = runCliHere(GetParam().arguments);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(Mainframe().traffic().received().empty());
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, UsageRefusals,
    ::testing::Values(
        UsageRow{"NoCommand", {"-r", kResource}, "no command given"},
        UsageRow{"UnknownCommand", {"-r", kResource, "blink"}, "unknown command \"blink\""},
        UsageRow{"UnknownOption", {"-r", kResource, "--fast", "show"}, "unknown option --fast"},
        UsageRow{"PinOutOfRange", {"-r", kResource, "pin", "8", "DIO"}, "from 1 to 7, not \"8\""},
        UsageRow{
            "UnknownFunction", {"-r", kResource, "pin", "4", "on-couple"}, "unknown function \"on-couple\""},
        UsageRow{
            "BadPolarity", {"-r", kResource, "pin", "4", "DIO", "up"}, "positive (POS) or negative (NEG)"},
        UsageRow{"WordTooLarge", {"-r", kResource, "output", "128"}, "from 0 to 127"},
        UsageRow{"BitsTooShort", {"-r", kResource, "output", "--bits", "101"}, "seven 0/1 digits"},
        UsageRow{"BadInhibit", {"-r", kResource, "inhibit", "LATCH"}, "live, latching (LATC) or off"},
        UsageRow{"SeveralResourcesForPin",
                 {"-r", kResource, "-r", "SIM8::INSTR", "pin", "1", "DIO"},
                 "only identify, show, apply and diff take several -r"},
        UsageRow{"JsonOutsideShow",
                 {"-r", kResource, "input", "--json"},
                 "--json belongs to find, show, apply and diff"},
        UsageRow{"BadTimeout", {"-r", kResource, "--timeout", "0", "show"}, "--timeout"},
        UsageRow{"NoJobs", {"-r", kResource, "-j", "0", "show"}, "--jobs wants a count from 1 to 1024"},
        UsageRow{"LockTimeoutNotANumber",
                 {"-r", kResource, "--lock-timeout", "soon", "apply", "x"},
                 "--lock-timeout"},
        UsageRow{"MissingValue", {"-r", kResource, "show", "--timeout"}, "--timeout"},
        UsageRow{
            "DryRunOutsideApply", {"-r", kResource, "diff", "--dry-run", "x"}, "--dry-run belongs to apply"},
        UsageRow{"WatchAndWait", {"-r", kResource, "input", "--watch", "--wait", "xxxxxx1"}, "not both"},
        UsageRow{"WaitPatternTooShort", {"-r", kResource, "input", "--wait", "x1"}, "seven of 0, 1 or x"},
        UsageRow{
            "WaitPatternBadDigit", {"-r", kResource, "input", "--wait", "xxxxxx2"}, "seven of 0, 1 or x"},
        UsageRow{"IdentifyTakesNoOperand", {"-r", kResource, "identify", "now"}, "wrong number of arguments"},
        UsageRow{"PortPastTheLast",
                 {"-r", "TCPIP0::127.0.0.1::99999::SOCKET", "show"},
                 "the port \"99999\" is not a number from 1 to 65535"},
        UsageRow{
            "BlankInTheResource", {"-r", "TCPIP0::127.0.0.1 ::5025::SOCKET", "show"}, "contains a blank"},
        UsageRow{"OneInvalidAmongSeveral",
                 {"-r", kResource, "-r", "SIM::INSTR::x", "show"},
                 "is not a valid resource string"},
        UsageRow{"MissingProfile",
                 {"-r", kResource, "apply", "/nonexistent/profile.json"},
                 "cannot read the profile"}),
    test_cases::byName);

class InvalidResource : public OnFreshBoard {};

TEST_F(InvalidResource, IsQuotedInPartWithItsLength) {
    Mainframe().reset();
    const std::string resource = "TCPIP0::" + std::string(100000, 'a') + "::5025::SOCKET";
    const auto result = runCliHere({"-r", resource, "show"});
    EXPECT_EQ(result.status, 2);
    EXPECT_LT(result.err.size(), 400u) << "the message quotes only the start of what was typed";
    EXPECT_NE(result.err.find("(100022 characters)"), std::string::npos) << result.err;
    EXPECT_TRUE(Mainframe().traffic().received().empty());
}

struct ProfileRow {
    const char* name;
    const char* json;
    const char* message;
};

class ProfileRefusals : public OnFreshBoard, public ::testing::WithParamInterface<ProfileRow> {};

TEST_P(ProfileRefusals, NameTheLineOrFieldAndSendNothing) {
    // A file of this test's own: tests run in parallel (ctest -j) and two runs may share a machine.
    const std::string file = ::testing::TempDir() + "refused-profile-" + GetParam().name + "-" +
                             std::to_string(::getpid()) + ".json";
    std::ofstream(file) << GetParam().json;
    for (const char* command : {"apply", "diff"}) {
        const auto result = runCliHere({"-r", kResource, command, file});
        EXPECT_EQ(result.status, 2) << command;
        EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    }
    std::remove(file.c_str());
    EXPECT_TRUE(Mainframe().traffic().received().empty());
}

#define HEAD "{\"format\": \"pinwright-profile\", \"version\": 1, "
INSTANTIATE_TEST_SUITE_P(
    Profiles, ProfileRefusals,
    ::testing::Values(
        ProfileRow{"BrokenJson", "{\"format\": \"pinwright-profile\",\n \"version\": 1,\n \"pins\": [,]}",
                   "line 3"},
        ProfileRow{"WrongFormat", "{\"format\": \"other\", \"version\": 1}",
                   "format: must be \"pinwright-profile\""},
        ProfileRow{"UnknownVersion", "{\"format\": \"pinwright-profile\", \"version\": 2}",
                   "version: unsupported version"},
        ProfileRow{"UnknownFunction", HEAD "\"pins\": [{\"pin\": 2, \"function\": \"Blink\"}]}",
                   "pins[0].function: unknown function \"Blink\""},
        ProfileRow{
            "FaultOffPinOne", HEAD "\"pins\": [{\"pin\": 3, \"function\": \"faul\"}]}",
            "pins[0].function: Fault is offered on pin 1 only (pin 3 offers Digital IO, Digital Input, "
            "Trigger Out, Trigger In and Inhibit)"},
        ProfileRow{"InhibitOffPinThree", HEAD "\"pins\": [{\"pin\": 2, \"function\": \"Inhibit\"}]}",
                   "Inhibit is offered on pin 3 only"},
        ProfileRow{"PinZero", HEAD "\"pins\": [{\"pin\": 0, \"function\": \"Digital IO\"}]}", "pins[0].pin"},
        ProfileRow{"PinEight", HEAD "\"pins\": [{\"pin\": 8}]}",
                   "pins[0].pin: must be a pin number from 1 to 7"},
        ProfileRow{"PinTwice", HEAD "\"pins\": [{\"pin\": 3}, {\"pin\": 3}]}",
                   "pins[1].pin: pin 3 is listed twice"},
        ProfileRow{"CouplingOnTwoPins",
                   HEAD "\"pins\": [{\"pin\": 4, \"function\": \"On Couple\"}, {\"pin\": 6, \"function\": "
                        "\"On Couple\"}]}",
                   "pins[1].function: On Couple is also given to pin 4"},
        ProfileRow{"CouplingOnPinTwo", HEAD "\"pins\": [{\"pin\": 2, \"function\": \"Off Couple\"}]}",
                   "on pins 4 to 7 only"},
        ProfileRow{"BadPolarity", HEAD "\"pins\": [{\"pin\": 2, \"polarity\": \"up\"}]}", "pins[0].polarity"},
        ProfileRow{"WordTooLarge", HEAD "\"outputWord\": 128}",
                   "outputWord: must be a whole number from 0 to 127"},
        ProfileRow{"WordFraction", HEAD "\"outputWord\": 1.5}", "outputWord"},
        ProfileRow{"BadInhibit", HEAD "\"inhibitMode\": \"LATCH\"}", "inhibitMode"},
        ProfileRow{"UnknownField", HEAD "\"outputword\": 5}", "outputword: unknown field"}),
    test_cases::byName);
#undef HEAD

class InstrumentRefusals : public OnFreshBoard {
protected:
    CliResult run(Strings arguments) {
        arguments.insert(arguments.begin(), {"-r", kResource});
        return runCliHere(arguments);
    }
};

TEST_F(InstrumentRefusals, OnePinRuleNamesEveryHolderAndSendsNoSetting) {
    auto state = Mainframe().state();
    state.pinFunction[6] = "OFFC";
    state.pinFunction[7] = "OFFC";
    Mainframe().setState(state);
    Mainframe().traffic().clear();
    const auto result = run({"pin", "5", "Off Couple", "positive"});
    EXPECT_EQ(result.status, 1);
    // Said once, naming both.
    EXPECT_EQ(result.err, "pinwright-cli: SIM7::INSTR: pin 5 function: Off Couple is already set for pins 6 "
                          "and 7; only one pin can be set to Off Couple; pin 5 was not changed\n");
    for (const auto& message : Mainframe().traffic().received())
        EXPECT_EQ(message.find(' '), std::string::npos) << "a setting was sent: " << message;
}

TEST_F(InstrumentRefusals, InstrumentErrorIsPrintedWithItsStep) {
    const auto result = run({"scpi", "DIG:PIN5:FUNC", "INH"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pinwright-cli: SIM7::INSTR: DIG:PIN5:FUNC INH: -221,\"Settings conflict\"\n");
    EXPECT_EQ(result.out, "");
}

// A mainframe that refuses a setting for a reason of its own, which no rule of the port foresees.
TEST(InstrumentRefusal, ApplyStopsAtTheRefusedSettingAndSaysWhatWasApplied) {
    std::string pending = "+0,\"No error\"";
    const auto answer = [&](const std::string& query) -> std::string {
        if (query == "*IDN?")
            return "Korvane,MF-7,X,1";
        if (query == "SYST:ERR?")
            return std::exchange(pending, "+0,\"No error\"");
        if (query.ends_with(":FUNC?"))
            return "DIO";
        if (query.ends_with(":POL?"))
            return "POS";
        return query == "OUTP:INH:MODE?" ? "OFF" : "+0";
    };
    AnsweringPeer peer([&](const std::string& line) -> std::optional<std::string> {
        std::string reply;
        for (std::size_t start = 0; start <= line.size();) {
            const std::size_t end = std::min(line.find(";:", start), line.size());
            const std::string unit = line.substr(start, end - start);
            if (unit.ends_with('?'))
                reply += (reply.empty() ? "" : ";") + answer(unit);
            else if (unit == "DIG:PIN5:FUNC TINP")
                pending = "-221,\"Settings conflict\"";
            start = end + 2;
        }
        return reply.empty() ? std::nullopt : std::optional(reply + "\n");
    });
    const std::string file = ::testing::TempDir() + "mid-apply-" + std::to_string(::getpid()) + ".json";
    std::ofstream(file) << R"({"format": "pinwright-profile", "version": 1,
        "pins": [{"pin": 1, "function": "Trigger Out"}, {"pin": 5, "function": "Trigger In"},
                 {"pin": 6, "function": "Trigger In"}], "outputWord": 3})";
    const auto result = runCliHere({"-r", peer.resource(), "--timeout", "500", "apply", file});
    std::remove(file.c_str());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "pinwright-cli: " + peer.resource() +
                  ": pin 5 function: -221,\"Settings conflict\"; applied before it: pin 1 function; "
                  "not reached: pin 6 function, output word\n");
    const auto received = peer.received();
    EXPECT_EQ(std::find(received.begin(), received.end(), "DIG:PIN6:FUNC TINP"), received.end())
        << "nothing after the refused setting is sent";
}

// An instrument that takes one query per message: the joined read is refused, the port read query by query.
TEST(OneQueryPerMessage, PortIsReadQueryByQueryAfterTheJoinedReadIsRefused) {
    bool refused = false;
    AnsweringPeer peer([&](const std::string& line) -> std::optional<std::string> {
        if (line == "*IDN?")
            return "Korvane,MF-7,X,1\n";
        if (line.find(';') != std::string::npos) {
            refused = true;
            return std::nullopt;
        }
        if (line == "SYST:ERR?") {
            const bool report = std::exchange(refused, false);
            return report ? "-113,\"Undefined header\"\n" : "+0,\"No error\"\n";
        }
        if (line.ends_with(":FUNC?"))
            return "DIO\n";
        if (line.ends_with(":POL?"))
            return "NEG\n";
        return line == "OUTP:INH:MODE?" ? "LIVE\n" : "+3\n";
    });
    const auto result = runCliHere({"-r", peer.resource(), "--timeout", "200", "show"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out.rfind("pin 1: Digital IO, negative\n", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("output: 3 (pin 7654321: 0000011)\ninput: 3"), std::string::npos) << result.out;
    const auto received = peer.received();
    EXPECT_NE(std::find(received.begin(), received.end(), "DIG:PIN7:POL?"), received.end());
}

TEST_F(InstrumentRefusals, FailedQueryIsToldWithTheInstrumentsError) {
    const auto result = run({"scpi", "DIG:PIN9:FUNC?"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "pinwright-cli: SIM7::INSTR: DIG:PIN9:FUNC?: -114,\"Header suffix out of range\"\n");
    EXPECT_EQ(result.out, "");
}

TEST(UnansweredQuery, WithAnEmptyErrorQueueIsToldAsNoReply) {
    AnsweringPeer peer([](const std::string& line) -> std::optional<std::string> {
        if (line == "*IDN?")
            return "Korvane,MF-7,X,1\n";
        return line == "SYST:ERR?" ? std::optional<std::string>("+0,\"No error\"\n") : std::nullopt;
    });
    const auto result = runCliHere({"-r", peer.resource(), "--timeout", "200", "scpi", "DIG:PIN1:FUNC?"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pinwright-cli: " + peer.resource() +
                              ": DIG:PIN1:FUNC?: no reply, and no error in the instrument's queue\n");
}

TEST(UnreachableInstrument, ExitsThreeWithTheReason) {
    const auto result = runCliHere({"-r", "TCPIP0::127.0.0.1::1::SOCKET", "--timeout", "500", "show"});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err.rfind("pinwright-cli: TCPIP0::127.0.0.1::1::SOCKET: connecting: ", 0), 0u)
        << result.err;
    EXPECT_NE(result.err.find("connection refused"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
}

TEST(SilentInstrument, StoppingMidCommandExitsThree) {
    ServedInstrument instrument(Transport::Socket, 0);
    auto& mainframe = instrument.mainframe();
    // The identity reply is held back long enough to silence the instrument once it has left.
    mainframe.faults().inject(sim::Fault::DelayReply, 1, std::chrono::milliseconds(100));
    std::thread silencer([&] {
        for (int i = 0; i < 2000 && mainframe.traffic().sent().empty(); ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        mainframe.faults().inject(sim::Fault::StopAnswering);
    });
    const auto result = runCliHere({"-r", instrument.resource(), "--timeout", "200", "show"});
    silencer.join();
    EXPECT_EQ(result.status, 3);
    // Said once, naming the resource and the step.
    EXPECT_EQ(result.err,
              "pinwright-cli: " + instrument.resource() +
                  ": reading the port: the instrument stopped answering (no reply within 200 ms)\n");
    EXPECT_EQ(result.out, "");
}

} // namespace
