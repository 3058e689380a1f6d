#pragma once

// Shared set-up for transport-level tests: notices are recorded instead of shown, time-outs are short,
// and the embedded simulated mainframe starts from its power-on state.

#include "sim/Mainframe.h"
#include "simbackend/SimInstruments.h"
#include "transport/SCPI_DCPS.h"
#include "transport/TransportTimeouts.h"
#include "transport/UserNotice.h"
#include "visa/VisaError.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

class TransportTest : public ::testing::Test {
protected:
    static constexpr const char* kSim = "SIM3::INSTR";

    void SetUp() override {
        transport::SetTimeoutsForTesting({std::chrono::milliseconds(1000), std::chrono::milliseconds(300)});
        transport::SetNoticeHandler([this](const std::string& text) { notices.push_back(text); });
        mainframe().reset();
    }
    void TearDown() override {
        transport::SetTimeoutsForTesting({});
        transport::SetNoticeHandler(nullptr);
    }

    static sim::Mainframe& mainframe() { return simbackend::SimInstruments::board(3); }

    // Opens the simulated mainframe without clearing it and forgets the set-up traffic.
    void OpenQuietly() {
        ASSERT_TRUE(SCPI_DCPS::OpenSession(kSim, session, 1));
        notices.clear();
        mainframe().traffic().clear();
    }

    InstrumentSession session;
    std::vector<std::string> notices;
};
