// Commands on several instruments in one call: one process, a transport object per resource, the ones on
// sockets as fibers of one thread and the others on threads of their own, at most --jobs at once;
// results in the order of the -r options, the worst exit status.
#include "tests/cli/CliRun.h"
#include "tests/cli/ServedInstrument.h"
#include "tests/support/LoopbackListener.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class SeveralInstruments : public ::testing::Test {
protected:
    ServedInstrument first{Transport::Socket, 0};
    ServedInstrument second{Transport::Hislip, 0};
};

TEST_F(SeveralInstruments, ApplyReachesEveryOneAndShowJsonIsOneArray) {
    const std::string file = ::testing::TempDir() + "rack.json";
    std::ofstream(file) << R"({"format": "pinwright-profile", "version": 1,
        "pins": [{"pin": 6, "function": "On Couple", "polarity": "negative"}], "outputWord": 9,
        "inhibitMode": "off"})";
    const auto applied = runCliProcess({"-r", first.resource(), "-r", second.resource(), "apply", file});
    EXPECT_EQ(applied.status, 0) << applied.err;
    const std::string changes =
        "pin 6 function: Digital IO -> On Couple\npin 6 polarity: positive -> negative\n"
        "output word: 0 -> 9\n";
    EXPECT_EQ(applied.out,
              "== " + first.resource() + "\n" + changes + "== " + second.resource() + "\n" + changes);
    for (auto* instrument : {&first, &second}) {
        EXPECT_EQ(instrument->mainframe().state().pinFunction[6], "ONC") << instrument->resource();
        EXPECT_EQ(instrument->mainframe().state().outputWord, 9) << instrument->resource();
    }

    const auto shown =
        runCliProcess({"show", "--json", "-r", first.resource(), "--resource", second.resource()});
    ASSERT_EQ(shown.status, 0) << shown.err;
    const QJsonArray results = QJsonDocument::fromJson(QByteArray::fromStdString(shown.out)).array();
    ASSERT_EQ(results.size(), 2) << shown.out;
    EXPECT_EQ(results[0].toObject()["resource"].toString().toStdString(), first.resource());
    EXPECT_EQ(results[1].toObject()["resource"].toString().toStdString(), second.resource());
    EXPECT_EQ(results[1].toObject()["outputWord"].toInt(), 9);
    EXPECT_EQ(results[1].toObject()["exitStatus"].toInt(), 0);
}

TEST_F(SeveralInstruments, OneUnreachableFailsTheCallButNotTheOthers) {
    const std::string unreachable = "TCPIP0::127.0.0.1::1::SOCKET";
    const auto shown =
        runCliProcess({"-r", first.resource(), "-r", unreachable, "-r", second.resource(), "show"});
    EXPECT_EQ(shown.status, 3);
    EXPECT_NE(shown.err.find("pinwright-cli: " + unreachable + ": connecting: "), std::string::npos)
        << shown.err;
    EXPECT_NE(shown.out.find("== " + first.resource() + "\npin 1: Digital IO, positive\n"), std::string::npos)
        << shown.out;
    EXPECT_NE(shown.out.find("== " + unreachable + "\n== " + second.resource() + "\npin 1:"),
              std::string::npos)
        << shown.out;
}

// Instruments that accept the connection and never answer: each costs its own time-out.
struct SilentRack {
    std::vector<std::unique_ptr<LoopbackListener>> listeners;
    explicit SilentRack(int count) {
        for (int i = 0; i < count; ++i)
            listeners.push_back(std::make_unique<LoopbackListener>());
    }
    void addTo(std::vector<std::string>& arguments) const {
        for (const auto& listener : listeners)
            arguments.insert(arguments.end(), {"-r", listener->socketResource()});
    }
};

TEST_F(SeveralInstruments, SilentOnesCostOneTimeOutTogetherAndDelayNoOther) {
    const std::string file = ::testing::TempDir() + "silent-rack.json";
    std::ofstream(file) << R"({"format": "pinwright-profile", "version": 1, "outputWord": 33})";
    const auto applyBeside = [&](const SilentRack& silent) {
        std::vector<std::string> arguments{"--timeout", "1000"};
        silent.addTo(arguments);
        arguments.insert(arguments.end(), {"-r", first.resource(), "apply", file});
        const auto start = Clock::now();
        auto result = runCliHere(arguments);
        return std::pair(result, Clock::now() - start);
    };
    // One silent instrument in the same run is the baseline: one after another, four would take four
    // times as long.
    const auto [alone, oneSilent] = applyBeside(SilentRack(1));
    first.mainframe().reset(); // so that the run measured changes the word again
    const SilentRack silent(4);
    const auto [result, elapsed] = applyBeside(silent);
    EXPECT_EQ(alone.status, 3);
    EXPECT_EQ(result.status, 3);
    EXPECT_LT(elapsed, 2 * oneSilent);
    EXPECT_GE(elapsed, milliseconds(1000));
    EXPECT_EQ(first.mainframe().state().outputWord, 33);
    EXPECT_NE(result.out.find("== " + first.resource() + "\noutput word: 0 -> 33\n"), std::string::npos)
        << result.out;
    for (const auto& listener : silent.listeners)
        EXPECT_NE(result.err.find("pinwright-cli: " + listener->socketResource() + ": connecting: "),
                  std::string::npos)
            << result.err;
}

TEST_F(SeveralInstruments, JobsBoundHowManyAreWorkedOnAtOnce) {
    const auto identifyTwoAtATime = [](const SilentRack& silent) {
        std::vector<std::string> arguments{"--timeout", "300", "-j", "2"};
        silent.addTo(arguments);
        arguments.push_back("identify");
        const auto start = Clock::now();
        auto result = runCliHere(arguments);
        return std::pair(result, Clock::now() - start);
    };
    // Two silent instruments, one round, in the same run are the baseline: four take two rounds, not
    // four (one at a time) nor one (no bound at all).
    const auto [oneRound, roundTime] = identifyTwoAtATime(SilentRack(2));
    const SilentRack silent(4);
    const auto [result, elapsed] = identifyTwoAtATime(silent);
    EXPECT_EQ(oneRound.status, 3);
    EXPECT_EQ(result.status, 3);
    EXPECT_GE(elapsed, milliseconds(600)) << "two rounds of two";
    EXPECT_LT(elapsed, 3 * roundTime);
    // Messages keep the order of the -r options whichever finished first.
    std::size_t previous = 0;
    for (const auto& listener : silent.listeners) {
        const auto at = result.err.find(listener->socketResource());
        ASSERT_NE(at, std::string::npos) << result.err;
        EXPECT_GE(at, previous);
        previous = at;
    }
}

TEST_F(SeveralInstruments, SocketsAndTheBuiltInBoardTogetherAtAnyJobCount) {
    ServedInstrument board{Transport::Sim, 3};
    const std::string file = ::testing::TempDir() + "mixed-rack.json";
    int word = 10;
    for (const char* jobs : {"1", "2", "32"}) {
        std::ofstream(file) << R"({"format": "pinwright-profile", "version": 1, "outputWord": )" << ++word
                            << "}";
        const auto applied = runCliHere({"-j", jobs, "-r", first.resource(), "-r", board.resource(), "-r",
                                         second.resource(), "apply", file});
        EXPECT_EQ(applied.status, 0) << "-j " << jobs << ": " << applied.err;
        for (auto* instrument : {&first, &board, &second})
            EXPECT_EQ(instrument->mainframe().state().outputWord, word)
                << "-j " << jobs << " " << instrument->resource();
        EXPECT_NE(applied.out.find("== " + board.resource() + "\noutput word: "), std::string::npos)
            << applied.out;
    }
}

} // namespace
