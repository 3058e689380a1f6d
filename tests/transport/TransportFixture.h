#pragma once

// Shared set-up for transport-level tests: notices are recorded instead of shown, time-outs are short,
// and the embedded simulated mainframe starts from its power-on state.

#include "tests/support/InstrumentFixture.h"
#include "transport/SCPI_DCPS.h"
#include "visa/VisaError.h"

class TransportTest : public InstrumentFixture<3> {
protected:
    static constexpr const char* kSim = "SIM3::INSTR";

    void SetUp() override {
        InstrumentFixture::SetUp();
        RecordNotices();
    }

    // Opens the simulated mainframe without clearing it and forgets the set-up traffic.
    void OpenQuietly() {
        ASSERT_TRUE(SCPI_DCPS::OpenSession(kSim, session, 1));
        notices.clear();
        mainframe().traffic().clear();
    }

    InstrumentSession session;
};
