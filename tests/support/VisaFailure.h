#pragma once

// Runs an operation that must fail in the VISA layer and hands back how it failed; an operation that
// does not throw is a test failure of its own.

#include "visa/VisaError.h"

#include <gtest/gtest.h>
#include <string>

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
