#include "sim/ServerOptions.h"

#include "sim/Mainframe.h"

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
    for (const char* option : {"--address A", "--port P", "--count N", "--socket-clients N",
                               "--lan-clients N", "--stall-timeout S", "--idle-timeout S",
                               "--links-per-connection N", "--max-links N", "--help", "--version"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

} // namespace
} // namespace sim
