// What apply and diff report per instrument, as text and as JSON: what changed, what stood in the way,
// and where an apply stopped when the instrument stopped answering in the middle.
#include "port/CouplingRule.h"
#include "tests/cli/CliRun.h"
#include "tests/support/FreshBoards.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

using Strings = std::vector<std::string>;

constexpr const char* kPinsQuery =
    "DIG:PIN1:FUNC?;:DIG:PIN1:POL?;:DIG:PIN2:FUNC?;:DIG:PIN2:POL?;:DIG:PIN3:FUNC?;:DIG:PIN3:POL?;:"
    "DIG:PIN4:FUNC?;:DIG:PIN4:POL?;:DIG:PIN5:FUNC?;:DIG:PIN5:POL?;:DIG:PIN6:FUNC?;:DIG:PIN6:POL?;:"
    "DIG:PIN7:FUNC?;:DIG:PIN7:POL?";

QJsonValue parsed(const std::string& text) {
    const auto document = QJsonDocument::fromJson(QByteArray::fromStdString(text));
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

QJsonObject change(const char* setting, const char* from, const char* to) {
    return {{"setting", setting}, {"old", from}, {"new", to}};
}

// Holds every reply of the mainframe back by `delay` and runs `act` on a thread of its own once `ready`
// says so, so that a test can step in between two exchanges of a running apply.
std::jthread betweenExchanges(sim::Mainframe& mainframe, std::chrono::milliseconds delay,
                              std::function<bool()> ready, std::function<void()> act) {
    mainframe.faults().inject(sim::Fault::DelayReply, sim::FaultInjector::kForever, delay);
    return std::jthread([ready = std::move(ready), act = std::move(act)] {
        for (int i = 0; i < 20000 && !ready(); ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        act();
    });
}

class ApplyReport : public ::testing::Test {
protected:
    sim::Mainframe& board(unsigned number) { return boards_.board(number); }
    std::string profile(const std::string& json) const {
        std::ofstream(file) << R"({"format": "pinwright-profile", "version": 1, )" << json << "}";
        return file;
    }
    const std::string file = ::testing::TempDir() + "report-" + std::to_string(::getpid()) + ".json";

private:
    FreshBoards boards_;
};

TEST_F(ApplyReport, JsonNamesEachChangeWithOldAndNewThenUnchanged) {
    profile(R"("pins": [{"pin": 5, "function": "On Couple"}], "outputWord": 9)");
    const auto first = runCliHere({"-r", "SIM4::INSTR", "apply", "--json", file});
    ASSERT_EQ(first.status, 0) << first.err;
    const QJsonObject report = parsed(first.out).toObject();
    EXPECT_EQ(report["resource"], "SIM4::INSTR");
    EXPECT_EQ(report["result"], "changed");
    EXPECT_EQ(report["exitStatus"], 0);
    EXPECT_EQ(report["errors"], QJsonArray());
    EXPECT_EQ(report["changes"], (QJsonArray{change("pin 5 function", "Digital IO", "On Couple"),
                                             change("output word", "0", "9")}));

    board(4).traffic().clear();
    const auto second = runCliHere({"-r", "SIM4::INSTR", "apply", "--json", file});
    EXPECT_EQ(parsed(second.out).toObject()["result"], "unchanged") << second.out;
    EXPECT_EQ(parsed(second.out).toObject()["changes"], QJsonArray());
    for (const auto& message : board(4).traffic().received())
        EXPECT_EQ(message.back(), '?') << "sent a command: " << message;
}

// The coupling check before a step and the read-back after the last one ride on the previous step's
// exchange, behind its error query: nothing is read on its own between the port read and the end.
TEST_F(ApplyReport, ChecksAndTheReadBackRideOnTheStepsExchanges) {
    profile(R"("pins": [{"pin": 1, "function": "Trigger Out"}, {"pin": 5, "function": "On Couple"}])");
    board(4).traffic().clear();
    const auto result = runCliHere({"-r", "SIM4::INSTR", "apply", file});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto received = board(4).traffic().received();
    ASSERT_EQ(received.size(), 6u);
    EXPECT_EQ(Strings(received.begin() + 2, received.end()),
              (Strings{"DIG:PIN1:FUNC TOUT", "SYST:ERR?;:" + std::string(kPinsQuery), "DIG:PIN5:FUNC ONC",
                       "SYST:ERR?;:DIG:OUTP:DATA?;:" + std::string(kPinsQuery) + ";:OUTP:INH:MODE?"}));
}

// Another client takes On Couple on pin 6 after the port was read: the check asked with pin 1's setting
// sees it, and pin 5 is not set.
TEST_F(ApplyReport, ACouplingTakenByAnotherClientMidApplyStopsTheApplyBeforeItsWrite) {
    profile(R"("pins": [{"pin": 1, "function": "Trigger Out"}, {"pin": 5, "function": "On Couple"}], )"
            R"("outputWord": 3)");
    auto& mainframe = board(4);
    std::jthread otherClient = betweenExchanges(
        mainframe, std::chrono::milliseconds(100), [&] { return mainframe.traffic().received().size() >= 2; },
        [&] {
            sim::PortState state = mainframe.state();
            state.pinFunction[6] = "ONC";
            mainframe.setState(state);
        });
    const auto result = runCliHere({"-r", "SIM4::INSTR", "apply", file});
    otherClient.join();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "pinwright-cli: SIM4::INSTR: pin 5 function: " + CouplingRule::clashMessage("On Couple", 6) +
                  " Pin 5 was not changed.; applied before it: pin 1 function; not reached: "
                  "output word\n");
    EXPECT_EQ(mainframe.state().pinFunction[5], "DIO");
    EXPECT_EQ(mainframe.state().outputWord, 0);
}

TEST_F(ApplyReport, DiffJsonOfSeveralIsOneArrayInTheOrderGiven) {
    profile(R"("inhibitMode": "latching", "pins": [{"pin": 2, "polarity": "negative"}])");
    auto state = board(6).state();
    state.inhibitMode = "LATC";
    state.pinPolarity[2] = "NEG";
    board(6).setState(state);
    const auto result = runCliHere({"-r", "SIM4::INSTR", "-r", "SIM6::INSTR", "diff", "--json", file});
    EXPECT_EQ(result.status, 1);
    const QJsonArray reports = parsed(result.out).toArray();
    ASSERT_EQ(reports.size(), 2) << result.out;
    EXPECT_EQ(reports[0].toObject()["resource"], "SIM4::INSTR");
    EXPECT_EQ(reports[0].toObject()["result"], "differs");
    EXPECT_EQ(reports[0].toObject()["exitStatus"], 1);
    EXPECT_EQ(reports[0].toObject()["changes"], (QJsonArray{change("pin 2 polarity", "positive", "negative"),
                                                            change("inhibit mode", "off", "latching")}));
    EXPECT_EQ(reports[1].toObject()["result"], "same");
    EXPECT_EQ(reports[1].toObject()["exitStatus"], 0);
}

TEST_F(ApplyReport, CouplingHeldByAPinLeftOutRefusesBeforeSendingAnything) {
    auto state = board(6).state();
    state.pinFunction[7] = "ONC";
    board(6).setState(state);
    board(6).traffic().clear();
    profile(R"("pins": [{"pin": 5, "function": "On Couple"}], "outputWord": 3)");
    for (const bool dryRun : {false, true}) {
        const auto result = runCliHere(dryRun ? Strings{"-r", "SIM6::INSTR", "apply", "--dry-run", file}
                                              : Strings{"-r", "SIM6::INSTR", "apply", file});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err,
                  "pinwright-cli: SIM6::INSTR: apply: On Couple is already set for pin 7.  Only one pin "
                  "can be set to On Couple. Nothing was sent.\n");
    }
    for (const auto& message : board(6).traffic().received())
        EXPECT_EQ(message.back(), '?') << "sent a command: " << message;
}

class LossMidApply : public ApplyReport, public ::testing::WithParamInterface<bool> {};

// Every reply is held a little after it is taken, so that the instrument can be silenced after the first
// setting's check has been answered (the third reply: the identity, the port, the check) and before the
// second setting arrives.
TEST_P(LossMidApply, SaysWhatWasAppliedWhichFailedAndWhatWasNotReached) {
    const bool json = GetParam();
    profile(
        R"("pins": [{"pin": 1, "function": "Trigger Out"}, {"pin": 2, "function": "Fault"}], "outputWord": 3)");
    auto& mainframe = board(6);
    std::jthread silencer = betweenExchanges(
        mainframe, std::chrono::milliseconds(20), [&] { return mainframe.traffic().sent().size() >= 3; },
        [&] { mainframe.faults().inject(sim::Fault::StopAnswering); });
    Strings arguments{"-r", "SIM6::INSTR", "--timeout", "200", "apply", file};
    if (json)
        arguments.push_back("--json");
    const auto result = runCliHere(arguments);
    silencer.join();
    EXPECT_EQ(result.status, 3);
    const std::string message =
        "pinwright-cli: SIM6::INSTR: pin 2 function: the instrument stopped answering (no "
        "reply within 200 ms); applied before it: pin 1 function; not reached: output word\n";
    EXPECT_EQ(result.err, message);
    if (json) {
        const QJsonObject report = parsed(result.out).toObject();
        EXPECT_EQ(report["result"], "failed");
        EXPECT_EQ(report["applied"], QJsonArray{"pin 1 function"});
        EXPECT_EQ(report["failed"], "pin 2 function");
        EXPECT_EQ(report["notReached"], QJsonArray{"output word"});
        EXPECT_EQ(report["exitStatus"], 3);
        EXPECT_EQ(report["errors"].toArray().size(), 1);
    } else {
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(mainframe.state().outputWord, 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, LossMidApply, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Json" : "Text"; });

} // namespace
