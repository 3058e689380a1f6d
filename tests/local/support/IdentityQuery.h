#pragma once

// "*IDN?" through a session, and the check that the simulated mainframe's whole identity came back, ending
// with its line feed.

#include "visa/MessageSession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>

inline void ExpectWholeIdentity(visa::MessageSession& session) {
    session.write("*IDN?");
    const std::string reply = session.read();
    EXPECT_THAT(reply, testing::StartsWith("Korvane,"));
    EXPECT_EQ(reply.back(), '\n');
}
