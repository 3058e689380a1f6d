#pragma once

// The check that a session's transport offers no lock and says so, naming the resource, for both
// taking and releasing it.

#include "tests/support/VisaFailure.h"
#include "visa/MessageSession.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>

inline void ExpectNoLock(visa::MessageSession& session, const std::string& resource) {
    EXPECT_FALSE(session.canLock());
    for (const auto& failure : {FailureOf([&] { session.lockExclusive(std::chrono::milliseconds(100)); }),
                                FailureOf([&] { session.unlock(); })}) {
        EXPECT_EQ(failure.kind(), visa::VisaError::Kind::Unsupported);
        EXPECT_EQ(std::string(failure.what()), resource + ": this transport has no lock");
    }
}
