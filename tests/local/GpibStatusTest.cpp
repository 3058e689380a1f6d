// Which status linux-gpib's library reports to the backend: the calling thread's, through ThreadIbsta,
// ThreadIberr and ThreadIbcntl, where the library has them, and the process-wide variables of older
// releases otherwise (this file is built against both fakes; FAKE_GPIB_GLOBALS_ONLY names the older).

#include "tests/local/support/FakeDriverControls.h"
#include "tests/local/support/IdentityQuery.h"
#include "tests/support/VisaFailure.h"
#include "visa/GpibLibrary.h"
#include "visa/ResourceManager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using namespace testing;

class GpibStatusTest : public testing::Test {
protected:
    void TearDown() override { overwriteGlobals(false); }
    void overwriteGlobals(bool on) { fake.call<void (*)(int)>("fakeGpibOverwriteGlobals")(on ? 1 : 0); }

    // A whole reply needs the byte counts; the failure's words need the error code.
    void expectRepliesAndFailureWords() {
        auto session = visa::ResourceManager().Open("GPIB0::5::INSTR", 2000ms);
        ExpectWholeIdentity(*session);
        fake.failNext("ibwrt", visa::gpib::ENOL);
        EXPECT_THAT(FailureOf([&] { session->write("*IDN?"); }).what(),
                    HasSubstr("no instrument listens at primary address 5"));
    }

    FakeDriverControls fake{"libgpib.so.0"};
};

#ifndef FAKE_GPIB_GLOBALS_ONLY
TEST_F(GpibStatusTest, ReadsTheCallingThreadsStatusWhateverOtherThreadsDid) {
    overwriteGlobals(true);
    expectRepliesAndFailureWords();
}
#else
TEST_F(GpibStatusTest, FallsBackToTheProcessWideStatusOfOlderReleases) {
    expectRepliesAndFailureWords();
}
#endif

} // namespace
