#include "sim/ServerOptions.h"

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

TEST(ServerOptions, RefusesWhatItCannotUse) {
    const std::vector<std::vector<std::string_view>> bad = {
        {"--port"}, {"--port", "65536"}, {"--port", "-1"}, {"--port", "50x"}, {"--port", ""}, {"--bogus"},
        {"5025"},   {"--help=yes"},      {"--address"},
    };
    for (const auto& arguments : bad) {
        EXPECT_THROW(parse(arguments), std::invalid_argument) << arguments.front();
    }
}

TEST(ServerOptions, UsageListsEveryOption) {
    const std::string usage = serverUsage();
    for (const char* option : {"--address A", "--port P", "--help"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

} // namespace
} // namespace sim
