// One setting through the port's session, as every front end but the window changes it: what the port's
// rules refuse is refused with its cause and sends no setting, and the instrument's own error keeps its
// code and text.
#include "port/PortWrites.h"

#include "port/PortFailure.h"
#include "port/PortReader.h"
#include "port/PortSession.h"
#include "tests/support/CaseTable.h"
#include "tests/support/FreshBoards.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

constexpr unsigned kBoard = 3;
const std::string kResource = "SIM3::INSTR";

using Write = std::function<void(PortSession&)>;

struct RefusalCase {
    const char* label;
    const char* arranged; // sent to the board before the session opens
    Write write;
    const char* step;
    const char* message;
    std::vector<int> holders; // a coupling refusal names these pins
};

class OnFreshBoards : public ::testing::Test {
protected:
    FreshBoards boards_;
};

class Refusals : public test_cases::Table<RefusalCase, &RefusalCase::label, OnFreshBoards> {};

TEST_P(Refusals, NameTheRuleAndSendNoSetting) {
    const auto& row = GetParam();
    auto& board = boards_.board(kBoard);
    if (*row.arranged)
        board.receive(row.arranged);
    PortSession session(kResource, {});
    board.traffic().clear();
    try {
        row.write(session);
        FAIL() << "the write went through";
    } catch (const PortFailure& failure) {
        EXPECT_EQ(failure.cause(), PortFailure::Cause::Refused);
        EXPECT_EQ(failure.step(), row.step);
        EXPECT_NE(failure.detail().find(row.message), std::string::npos) << failure.detail();
        const auto* coupling = dynamic_cast<const CouplingRefused*>(&failure);
        EXPECT_EQ(coupling ? coupling->holders() : std::vector<int>{}, row.holders);
    }
    const auto received = board.traffic().received();
    EXPECT_TRUE(std::all_of(received.begin(), received.end(), [](const std::string& message) {
        return message.find('?') != std::string::npos;
    })) << "a setting was sent";
}

INSTANTIATE_TEST_SUITE_P(
    PortRules, Refusals,
    ::testing::Values(
        RefusalCase{"CouplingHeldElsewhere",
                    "DIG:PIN4:FUNC ONC",
                    [](PortSession& s) { PortWrites::setPinFunction(s, 5, "On Couple"); },
                    "pin 5 function",
                    "On Couple is already set for pin 4",
                    {4}},
        RefusalCase{"FaultOffPinOne",
                    "",
                    [](PortSession& s) { PortWrites::setPinFunction(s, 3, "Fault"); },
                    "pin 3 function",
                    "Fault is offered on pin 1 only",
                    {}},
        RefusalCase{"InhibitOffPinThree",
                    "",
                    [](PortSession& s) { PortWrites::setPinFunction(s, 6, "Inhibit"); },
                    "pin 6 function",
                    "Inhibit is offered on pin 3 only",
                    {}},
        RefusalCase{"PinTwoFunctionUnderFault",
                    "DIG:PIN1:FUNC FAUL",
                    [](PortSession& s) { PortWrites::setPinFunction(s, 2, "Trigger Out"); },
                    "pin 2 function",
                    "pin 2 is its common",
                    {}},
        RefusalCase{"PinTwoPolarityUnderFault",
                    "DIG:PIN1:FUNC FAUL",
                    [](PortSession& s) { PortWrites::setPinPolarity(s, 2, Polarity::Negative); },
                    "pin 2 polarity",
                    "pin 2 is its common",
                    {}},
        RefusalCase{"NoPinEight",
                    "",
                    [](PortSession& s) { PortWrites::setPinPolarity(s, 8, Polarity::Negative); },
                    "pin 8 polarity",
                    "from 1 to 7",
                    {}},
        RefusalCase{"WordPastTheLast",
                    "",
                    [](PortSession& s) { PortWrites::setOutputWord(s, 128); },
                    "output word",
                    "from 0 to 127, not 128",
                    {}}));

TEST(PortWrites, SettingsTheRulesAllowReachThePort) {
    FreshBoards boards;
    PortSession session(kResource, {});
    PortWrites::setPin(session, 5, "On Couple", Polarity::Negative);
    PortWrites::setPinFunction(session, 1, "Fault");
    PortWrites::setOutputWord(session, 85);
    PortWrites::setInhibitMode(session, InhibitMode::Latching);
    const auto reading = readPort(session, true);
    EXPECT_EQ(reading.setup.pins[4].function, "On Couple");
    EXPECT_EQ(reading.setup.pins[4].polarity, Polarity::Negative);
    EXPECT_EQ(reading.setup.pins[0].function, "Fault");
    EXPECT_EQ(reading.setup.outputWord, 85);
    EXPECT_EQ(reading.setup.inhibitMode, InhibitMode::Latching);
}

struct ErrorEntryCase {
    const char* label;
    PortFailure::Cause cause;
    const char* detail;
    std::optional<int> code;
    const char* text;
};

class ErrorEntries : public test_cases::Table<ErrorEntryCase, &ErrorEntryCase::label> {};

TEST_P(ErrorEntries, SplitIntoCodeAndText) {
    const auto& row = GetParam();
    const PortFailure failure(row.cause, kResource, "pin 5 function", row.detail);
    EXPECT_EQ(failure.errorCode(), row.code);
    EXPECT_EQ(failure.errorText(), row.text);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ErrorEntries,
    ::testing::Values(ErrorEntryCase{"Conflict", PortFailure::Cause::InstrumentError,
                                     "-221,\"Settings conflict\"", -221, "Settings conflict"},
                      ErrorEntryCase{"SignedPositive", PortFailure::Cause::InstrumentError,
                                     "+100,\"Device specific\"", 100, "Device specific"},
                      ErrorEntryCase{"NoCode", PortFailure::Cause::InstrumentError, "garbage, then more",
                                     std::nullopt, "garbage, then more"},
                      ErrorEntryCase{"NotTheInstrumentsError", PortFailure::Cause::Lost,
                                     "-221,\"Settings conflict\"", std::nullopt,
                                     "-221,\"Settings conflict\""}));

TEST(PortFailure, ShowsTheInstrumentsTextOnOneLine) {
    const PortFailure failure(PortFailure::Cause::InstrumentError, kResource, "identify", "two\nlines");
    EXPECT_EQ(std::string(failure.what()), kResource + ": identify: two\\x0Alines");
    EXPECT_EQ(failure.detail(), "two\nlines");
}

} // namespace
