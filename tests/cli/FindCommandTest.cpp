// pinwright-cli find: the lines and the JSON it prints from what the finders report, its exit status, and
// what it refuses.
#include "tests/cli/CliRun.h"
#include "tests/support/AnsweringPeer.h"
#include "tests/support/ScopedFinders.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::StartsWith;
using Strings = std::vector<std::string>;

Strings lines(const std::string& text) {
    Strings list;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        list.push_back(line);
    return list;
}

visa::ResourceFinder reporting(Strings resources, std::string host = "") {
    return [resources, host](const visa::FindOptions&, visa::FindSink& sink) {
        for (const auto& resource : resources)
            sink.found({resource, "test", host, "", "", ""});
    };
}

visa::ResourceFinder unavailable(std::string reason) {
    return [reason](const visa::FindOptions&, visa::FindSink& sink) {
        sink.unavailable("ignored", reason);
    };
}

class FindCommand : public testing::Test {
protected:
    AnsweringPeer silent{[](const std::string&) -> std::optional<std::string> {
        return std::nullopt;
    }};
    ScopedFinders finders{{{visa::InterfaceType::Sim, "sim", reporting({"SIM2::INSTR"})},
                           {visa::InterfaceType::Tcpip, "lan", reporting({silent.resource()}, "127.0.0.1")},
                           {visa::InterfaceType::Gpib, "GPIB", unavailable("linux-gpib is not installed")}}};
};

TEST_F(FindCommand, PrintsALinePerInstrumentAndNamesWhatCannotRunOnce) {
    const auto result = runCliHere({"find", "--include-builtin", "--timeout", "100"});
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(lines(result.out), testing::UnorderedElementsAre(
                                       "Korvane MF-7, serial SIM0003, firmware 1.0 (built in): SIM2::INSTR",
                                       "no answer to *IDN? at 127.0.0.1: " + silent.resource()));
    EXPECT_THAT(
        lines(result.err),
        ElementsAre("pinwright-cli: cannot look for instruments by GPIB: linux-gpib is not installed"));
}

TEST_F(FindCommand, JsonIsOneArrayWithEachInstrumentsIdentityAndResources) {
    const auto result = runCliHere({"--json", "find", "--include-builtin", "--timeout=100"});
    EXPECT_EQ(result.status, 0);
    QJsonParseError error;
    const auto document = QJsonDocument::fromJson(QByteArray::fromStdString(result.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << result.out;
    ASSERT_TRUE(document.isArray());
    const QJsonArray list = document.array();
    ASSERT_EQ(list.size(), 2);
    const QJsonObject sim = list[0].toObject()["model"] == "MF-7" ? list[0].toObject() : list[1].toObject();
    EXPECT_EQ(sim["identity"], "answered");
    EXPECT_EQ(sim["serial"], "SIM0003");
    EXPECT_EQ(sim["builtIn"], true);
    const QJsonObject resource = sim["resources"].toArray()[0].toObject();
    EXPECT_EQ(resource["resource"], "SIM2::INSTR");
    EXPECT_EQ(resource["transport"], "SIM");
    EXPECT_EQ(resource["method"], "test");
    const QJsonObject mute = list[0].toObject()["model"] == "MF-7" ? list[1].toObject() : list[0].toObject();
    EXPECT_EQ(mute["identity"], "none");
    EXPECT_EQ(mute["host"], "127.0.0.1");
    EXPECT_EQ(mute["builtIn"], false);
    EXPECT_EQ(list[0].toObject()["model"], "MF-7") << "identified instruments come first";
}

TEST_F(FindCommand, LeavesTheBuiltInMainframeOutUnlessAsked) {
    const auto result = runCliHere({"find", "--timeout", "100"});
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(lines(result.out), ElementsAre("no answer to *IDN? at 127.0.0.1: " + silent.resource()));
}

TEST(FindOnlyTheBuiltIn, IsNothingFoundWithoutIncludeBuiltIn) {
    const ScopedFinders finders{{{visa::InterfaceType::Sim, "sim", reporting({"SIM2::INSTR"})}}};
    const auto result = runCliHere({"find", "--timeout", "100"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
}

TEST_F(FindCommand, WithoutIdentifyingListsByAddressAndAsksNothing) {
    const auto result = runCliHere({"find", "--no-identify", "--include-builtin", "--timeout", "100"});
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(lines(result.out),
                testing::UnorderedElementsAre("not identified: SIM2::INSTR",
                                              "not identified at 127.0.0.1: " + silent.resource()));
    EXPECT_TRUE(silent.received().empty());
}

TEST(FindNothing, ExitsOneWithNothingOnStandardOutput) {
    const ScopedFinders finders{{{visa::InterfaceType::Usb, "USBTMC", unavailable("no driver")}}};
    for (const Strings& arguments : {Strings{"find"}, Strings{"find", "--json"}}) {
        const auto result = runCliHere(arguments);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, arguments.size() > 1 ? "[\n]\n" : "");
        EXPECT_THAT(result.err, HasSubstr("USBTMC: no driver"));
    }
}

TEST(FindRefusals, ExitTwoNamingWhatIsWrong) {
    const std::vector<std::pair<Strings, std::string>> rows{
        {{"-r", "SIM0::INSTR", "find"}, "find takes no -r"},
        {{"find", "extra"}, "wrong number of arguments for find"},
        {{"find", "--dry-run"}, "--dry-run belongs to apply"},
        {{"-r", "SIM0::INSTR", "show", "--no-identify"}, "--no-identify belongs to find"},
    };
    for (const auto& [arguments, message] : rows) {
        const auto result = runCliHere(arguments);
        EXPECT_EQ(result.status, 2) << message;
        EXPECT_THAT(result.err, HasSubstr(message));
        EXPECT_EQ(result.out, "");
    }
}

TEST(FindProgram, OffersTheBuiltInSimulatedMainframeWhenAsked) {
    // The real program runs every finder, broadcasts and multicasts included: never on this machine's
    // own networks.
    if (!canRunInOwnNetwork())
        GTEST_SKIP() << "needs root for a network namespace of its own";
    const auto alone = runCliProcessInOwnNetwork({"find", "--timeout", "100"});
    EXPECT_EQ(alone.status, 1) << "nothing but the built-in mainframe is nothing found";
    const auto result = runCliProcessInOwnNetwork({"find", "--include-builtin", "--timeout", "100"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.out,
                HasSubstr("Korvane MF-7, serial SIM0001, firmware 1.0 (built in): SIM0::INSTR\n"));
}

} // namespace
