#include "sim/ServerOptions.h"

#include "sim/ClientSession.h"
#include "sim/Mainframe.h"
#include "tests/support/CaseTable.h"

#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

namespace sim {
namespace {

ServerOptions parse(std::vector<std::string_view> arguments) {
    return parseServerOptions(arguments);
}

TEST(ServerOptions, DefaultsToLoopbackPort5025) {
    const ServerOptions options = parse({});
    EXPECT_EQ(options.address, "127.0.0.1");
    EXPECT_EQ(options.socketPort, 5025);
    EXPECT_FALSE(options.help);
}

TEST(ServerOptions, TakesValuesSeparateOrAfterEquals) {
    const ServerOptions options = parse({"--address", "::1", "--port=5599"});
    EXPECT_EQ(options.address, "::1");
    EXPECT_EQ(options.socketPort, 5599);
    EXPECT_TRUE(parse({"--help"}).help);
    EXPECT_EQ(parse({"--port", "0"}).socketPort, 0);
    EXPECT_EQ(parse({"--port", "65535"}).socketPort, 65535);
}

TEST(ServerOptions, CountsMainframesUpToARackThatFitsBelowPort65536) {
    EXPECT_EQ(parse({}).count, 1u);
    EXPECT_EQ(parse({"--count", "64"}).count, 64u);
    EXPECT_EQ(parse({"--count=256", "--port=65280"}).count, 256u);
    EXPECT_EQ(parse({"--count=256", "--port=0"}).count, 256u) << "free ports need no room above the base";
    for (const std::vector<std::string_view>& arguments : {std::vector<std::string_view>{"--count=0"},
                                                           {"--count=257"},
                                                           {"--count=2", "--port=65535"},
                                                           {"--port=65281", "--count=256"}}) {
        try {
            parse(arguments);
            ADD_FAILURE() << arguments.front() << " was taken";
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find("--count"), std::string::npos) << e.what();
        }
    }
}

TEST(ServerOptions, SerialNumbersStartWhereAskedAndLeaveRoomForARack) {
    EXPECT_EQ(parse({}).firstSerial, 1u);
    EXPECT_EQ(parse({"--first-serial", "110"}).firstSerial, 110u);
    EXPECT_EQ(sim::Mainframe::serialNumberFor(parse({"--first-serial=110"}).firstSerial - 1), "SIM0110");
    for (const char* refused : {"--first-serial=0", "--first-serial=9744", "--first-serial=x"})
        EXPECT_THROW(parse({refused}), std::invalid_argument) << refused;
}

TEST(ServerOptions, ClientLimitsDefaultToWhatTheServersAlwaysAllowed) {
    const ServerOptions options = parse({});
    EXPECT_EQ(socketLimits(options).maxConnections, 8u);
    EXPECT_EQ(lanLimits(options).maxConnections, 32u);
    EXPECT_EQ(options.stallTimeout, std::chrono::seconds(30));
    EXPECT_EQ(options.idleTimeout, std::chrono::seconds(0));
}

TEST(ServerOptions, TakesLimitsAndTimesInSecondsWithUpToThreeDecimals) {
    const ServerOptions options =
        parse({"--socket-clients=2", "--lan-clients", "3", "--stall-timeout", "0.25", "--idle-timeout=90",
               "--links-per-connection=4", "--max-links=5"});
    EXPECT_EQ(socketLimits(options).maxConnections, 2u);
    EXPECT_EQ(lanLimits(options).maxConnections, 3u);
    EXPECT_EQ(lanLimits(options).stallTimeout, std::chrono::milliseconds(250));
    EXPECT_EQ(socketLimits(options).idleTimeout, std::chrono::seconds(90));
    EXPECT_EQ(options.linksPerConnection, 4u);
    EXPECT_EQ(options.maxLinks, 5u);
    EXPECT_EQ(parse({"--stall-timeout=0.005"}).stallTimeout, std::chrono::milliseconds(5));
    EXPECT_EQ(parse({"--stall-timeout=0"}).stallTimeout, std::chrono::milliseconds(0));
}

TEST(ServerOptions, RefusesWhatItCannotUse) {
    const std::vector<std::vector<std::string_view>> bad = {
        {"--port"},
        {"--port", "65536"},
        {"--port", "-1"},
        {"--port", "50x"},
        {"--port", ""},
        {"--bogus"},
        {"5025"},
        {"--help=yes"},
        {"--address"},
        {"--socket-clients=0"},
        {"--lan-clients=-3"},
        {"--max-links=1e3"},
        {"--stall-timeout=0.0001"},
        {"--stall-timeout=1."},
        {"--stall-timeout=.5"},
        {"--idle-timeout=86400.001"},
        {"--idle-timeout=-1"},
        {"--idle-timeout=1.5s"},
    };
    for (const auto& arguments : bad) {
        EXPECT_THROW(parse(arguments), std::invalid_argument) << arguments.front();
    }
}

TEST(ServerOptions, UsageListsEveryOption) {
    const std::string usage = serverUsage();
    for (const char* option :
         {"--address A", "--port P", "--count N", "--socket-clients N", "--lan-clients N",
          "--stall-timeout S", "--idle-timeout S", "--links-per-connection N", "--max-links N",
          "--reply-delay MS", "--refuse-root-specifier", "--one-unit-per-message", "--small-input-buffer",
          "--help", "--version"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

// A command line pinwright-sim refuses before it serves anything, and what its message must say.
struct Refusal {
    std::vector<std::string_view> arguments;
    std::string_view says;
};

std::string shown(const Refusal& refusal) {
    std::string text;
    for (const auto argument : refusal.arguments) {
        text += (text.empty() ? "" : " ") + std::string(argument);
    }
    return text;
}

class RefusedCommandLines : public test_cases::Table<Refusal, &shown> {};

TEST_P(RefusedCommandLines, NameWhatIsWrong) {
    try {
        parse(GetParam().arguments);
        ADD_FAILURE() << "taken";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().says), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos) << "one line: " << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    ServerOptions, RefusedCommandLines,
    ::testing::Values(
        Refusal{{"--address", "localhost"},
                "--address wants a numeric IPv4 or IPv6 address, not \"localhost\""},
        Refusal{{"--address=10.0.0"}, "numeric IPv4 or IPv6"},
        Refusal{{"--portmap-port", "1111"}, "--portmap-port needs --vxi11"},
        Refusal{{"--no-udp-portmap"}, "--no-udp-portmap needs --vxi11"},
        Refusal{{"--hislip", "--port", "4880"}, "port 4880 is asked for twice, by --port and by HiSLIP"},
        Refusal{{"--count", "3", "--port", "5025", "--hislip-port", "5027"},
                "port 5027 is asked for twice, by --port (mainframe 3) and by HiSLIP"},
        Refusal{{"--vxi11-port", "5025"}, "port 5025 is asked for twice, by --port and by --vxi11-port"},
        Refusal{{"--vxi11", "--portmap-port", "6000", "--hislip-port", "6000"},
                "port 6000 is asked for twice, by the portmapper"},
        Refusal{{"--reply-delay", "fast"}, "--reply-delay wants milliseconds 0..60000"},
        Refusal{{"--reply-delay=60001"}, "--reply-delay wants milliseconds"},
        Refusal{{"--small-input-buffer=64"}, "--small-input-buffer takes no value"}));

TEST(ServerOptions, UsageSaysWhichOptionsNeedAnother) {
    const std::string usage = serverUsage();
    for (const char* option : {"--portmap-port", "--no-udp-portmap"}) {
        const auto row = usage.find(std::string("  ") + option);
        ASSERT_NE(row, std::string::npos) << option;
        const auto next = usage.find("\n  --", row + 1);
        EXPECT_NE(usage.substr(row, next - row).find("needs --vxi11"), std::string::npos) << option;
    }
}

TEST(ServerOptions, TakesDashHForHelpBeforeLookingAtTheRest) {
    EXPECT_TRUE(parse({"-h"}).help);
    EXPECT_TRUE(parse({"--portmap-port", "1111", "-h"}).help)
        << "help is given even for a line it would refuse";
}

TEST(ServerOptions, PortsOfServersNotServedOrPickedFreeNeverClash) {
    EXPECT_NO_THROW(parse({"--port", "4880"})) << "HiSLIP is not served";
    EXPECT_NO_THROW(parse({"--port", "0", "--count", "4", "--hislip", "--hislip-port", "0"}));
    EXPECT_NO_THROW(parse({"--vxi11", "--portmap-port", "0", "--vxi11-port", "0"}));
    EXPECT_NO_THROW(parse({"--portmap-port", "1111", "--vxi11"})) << "order does not matter";
}

TEST(ServerOptions, BehaviourOptionsReachTheMainframe) {
    const ServerOptions options = parse(
        {"--reply-delay", "2", "--refuse-root-specifier", "--one-unit-per-message", "--small-input-buffer"});
    Mainframe mainframe;
    applyBehaviour(options, mainframe);
    for (const Fault habit :
         {Fault::RefuseRootSpecifier, Fault::OneUnitPerMessage, Fault::SmallInputBuffer}) {
        EXPECT_TRUE(mainframe.faults().armed(habit));
    }
    for (int reply = 0; reply < 3; ++reply) {
        mainframe.receive("*OPC?");
        const auto answer = mainframe.session().takeReply();
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->delay, std::chrono::milliseconds(2)) << "every reply, not the first only";
    }
    Mainframe plain;
    applyBehaviour(parse({}), plain);
    plain.receive("*OPC?");
    EXPECT_EQ(plain.session().takeReply()->delay, std::chrono::milliseconds(0));
    EXPECT_FALSE(plain.faults().armed(Fault::RefuseRootSpecifier));
}

} // namespace
} // namespace sim
