// What apply and diff report per instrument, as text and as JSON: what changed, what stood in the way,
// and where an apply stopped when the instrument stopped answering in the middle.
#include "simbackend/SimInstruments.h"
#include "tests/cli/CliRun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

using Strings = std::vector<std::string>;

sim::Mainframe& board(unsigned number) {
    return simbackend::SimInstruments::board(number);
}

QJsonValue parsed(const std::string& text) {
    const auto document = QJsonDocument::fromJson(QByteArray::fromStdString(text));
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

QJsonObject change(const char* setting, const char* from, const char* to) {
    return {{"setting", setting}, {"old", from}, {"new", to}};
}

class ApplyReport : public ::testing::Test {
protected:
    void SetUp() override {
        board(4).reset();
        board(6).reset();
    }
    std::string profile(const std::string& json) const {
        std::ofstream(file) << R"({"format": "pinwright-profile", "version": 1, )" << json << "}";
        return file;
    }
    const std::string file = ::testing::TempDir() + "report-" + std::to_string(::getpid()) + ".json";
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
    mainframe.faults().inject(sim::Fault::DelayReply, sim::FaultInjector::kForever,
                              std::chrono::milliseconds(20));
    std::thread silencer([&] {
        for (int i = 0; i < 20000 && mainframe.traffic().sent().size() < 3; ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        mainframe.faults().inject(sim::Fault::StopAnswering);
    });
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
