#pragma once

// Runs an operation that must fail in the VISA layer and hands back how it failed; an operation that
// does not throw is a test failure of its own.

#include "visa/VisaError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

template <typename Operation> visa::VisaError FailureOf(Operation&& operation) {
    try {
        operation();
    } catch (const visa::VisaError& error) {
        return error;
    }
    ADD_FAILURE() << "no VisaError was thrown";
    return visa::VisaError(visa::VisaError::Kind::Other, "");
}

// How one whole exchange fails when one of its steps is made to: open, "*IDN?" written, its reply read and
// the input flushed.
template <typename Open> visa::VisaError FailureOfExchange(Open&& open) {
    return FailureOf([&] {
        auto session = open();
        session->write("*IDN?");
        session->read();
        session->flushRead();
    });
}

template <typename Operation>
visa::VisaError::Kind FailureKind(Operation&& operation, std::string* description = nullptr) {
    const auto failure = FailureOf(std::forward<Operation>(operation));
    if (description != nullptr)
        *description = failure.what();
    return failure.kind();
}

// A failure as the user must read it: of the given kind, its message opening with `start` (the resource,
// and what was being done) and holding each of `words` somewhere after.
inline void ExpectFailureSays(const visa::VisaError& error, visa::VisaError::Kind kind,
                              const std::string& start, const std::vector<std::string>& words) {
    EXPECT_EQ(error.kind(), kind);
    EXPECT_THAT(error.what(), testing::StartsWith(start));
    for (const auto& word : words)
        EXPECT_THAT(error.what(), testing::HasSubstr(word));
}
