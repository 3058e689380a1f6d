// show and apply on several instruments in one call: one process per resource, results in the order
// of the -r options, the worst exit status.
#include "tests/cli/CliRun.h"
#include "tests/cli/ServedInstrument.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>
#include <gtest/gtest.h>

namespace {

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
    EXPECT_EQ(applied.out, "== " + first.resource() + "\n== " + second.resource() + "\n");
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
    EXPECT_NE(shown.err.find("pinwright-cli: " + unreachable + ": Set IO error:"), std::string::npos)
        << shown.err;
    EXPECT_NE(shown.out.find("== " + first.resource() + "\npin 1: Digital IO, positive\n"), std::string::npos)
        << shown.out;
    EXPECT_NE(shown.out.find("== " + unreachable + "\n== " + second.resource() + "\npin 1:"),
              std::string::npos)
        << shown.out;
}

} // namespace
