// The linux-gpib backend against the fake libgpib.so.0, with no VISA library installed: the resource
// manager picks it for GPIB, and the calls, time-out steps and error descriptions are those expected.

#include "tests/local/support/FakeDriverControls.h"
#include "tests/local/support/IdentityQuery.h"
#include "tests/local/support/NoLock.h"
#include "tests/support/VisaFailure.h"
#include "visa/GpibLibrary.h"
#include "visa/ResourceManager.h"
#include "visa/VisaError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using namespace testing;
using visa::VisaError;

std::unique_ptr<visa::MessageSession> openGpib(const std::string& resource = "GPIB0::5::INSTR") {
    return visa::ResourceManager().Open(resource, 2000ms);
}

class GpibSessionTest : public testing::Test {
protected:
    FakeDriverControls fake{"libgpib.so.0"};
};

struct OpenCase {
    const char* resource;
    const char* ibdev;
};

void PrintTo(const OpenCase& c, std::ostream* out) {
    *out << c.resource;
}

class GpibOpenTest : public GpibSessionTest, public testing::WithParamInterface<OpenCase> {};

TEST_P(GpibOpenTest, OpensWithBoardAddressesTimeoutStepEoiAndLineFeedEnd) {
    auto session = openGpib(GetParam().resource);
    EXPECT_THAT(fake.calls(), ElementsAre(GetParam().ibdev));
}

// ibdev board pad sad timo eot eos: sad 0 or 0x60 + address; T3s (12) for the session's first 2000 ms;
// EOI on the last byte; reads end at a line feed (REOS 0x400 | 0x0a).
INSTANTIATE_TEST_SUITE_P(Resources, GpibOpenTest,
                         testing::Values(OpenCase{"GPIB0::5::INSTR", "ibdev 0 5 0x0 12 1 0x40a"},
                                         OpenCase{"gpib2::17::INSTR", "ibdev 2 17 0x0 12 1 0x40a"},
                                         OpenCase{"GPIB1::7::0::INSTR", "ibdev 1 7 0x60 12 1 0x40a"},
                                         OpenCase{"GPIB0::30::30::INSTR", "ibdev 0 30 0x7e 12 1 0x40a"}));

TEST_F(GpibSessionTest, QueryRoundTripRetunesTheTimeoutStepOnlyWhenItChanges) {
    auto session = openGpib();
    session->setTimeout(5000ms);
    ExpectWholeIdentity(*session);
    EXPECT_THAT(fake.calls(),
                ElementsAre("ibdev 0 5 0x0 12 1 0x40a", "ibtmo 13", "ibwrt *IDN?", "ibrd 4096 tmo=13"));
}

TEST_F(GpibSessionTest, JoinsAReplyReadInPieces) {
    auto session = openGpib();
    session->write("*IDN?");
    const std::string whole = session->read();
    fake.setReadChunk(3);
    session->write("*IDN?");
    EXPECT_EQ(session->read(), whole);
}

TEST_F(GpibSessionTest, ReadWithoutAReplyIsATimeoutNamingTheLimit) {
    auto session = openGpib();
    const VisaError error = FailureOf([&] { session->read(); });
    EXPECT_EQ(error.kind(), VisaError::Kind::Timeout);
    EXPECT_THAT(error.what(), AllOf(StartsWith("GPIB0::5::INSTR: reading the reply failed: no answer within "
                                               "2000 ms"),
                                    HasSubstr("EABO 6: Operation aborted")));
}

struct ErrorCase {
    const char* call;
    int iberr;
    VisaError::Kind kind;
    const char* words;
};

void PrintTo(const ErrorCase& c, std::ostream* out) {
    *out << c.call << " iberr " << c.iberr;
}

class GpibErrorTest : public GpibSessionTest, public testing::WithParamInterface<ErrorCase> {};

TEST_P(GpibErrorTest, DescribesTheFailureInPlainWords) {
    const ErrorCase& c = GetParam();
    fake.failNext(c.call, c.iberr);
    const VisaError error = FailureOfExchange([] { return openGpib(); });
    EXPECT_EQ(error.kind(), c.kind);
    EXPECT_THAT(error.what(), AllOf(StartsWith("GPIB0::5::INSTR: "), HasSubstr(c.words)));
    EXPECT_EQ(fake.openHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(Errors, GpibErrorTest,
                         testing::Values(ErrorCase{"ibdev", visa::gpib::ENEB, VisaError::Kind::NotFound,
                                                   "board 0 does not exist or is offline"},
                                         ErrorCase{"ibdev", visa::gpib::EDVR, VisaError::Kind::NotFound,
                                                   "is the linux-gpib kernel module loaded"},
                                         ErrorCase{"ibwrt", visa::gpib::ENOL, VisaError::Kind::NotFound,
                                                   "no instrument listens at primary address 5"},
                                         ErrorCase{"ibwrt", visa::gpib::EABO, VisaError::Kind::Timeout,
                                                   "no answer within 2000 ms"},
                                         ErrorCase{"ibrd", visa::gpib::EBUS, VisaError::Kind::Other,
                                                   "a bus error occurred"}));

TEST_F(GpibSessionTest, AnOversizedReplyFailsInsteadOfGrowingWithoutBound) {
    auto session = openGpib();
    fake.queueRawReply(std::string(visa::kMaxReplyBytes + 5000, 'x'));
    const VisaError error = FailureOf([&] { session->read(); });
    EXPECT_EQ(error.kind(), VisaError::Kind::Protocol);
}

TEST_F(GpibSessionTest, CloseTakesTheDeviceOfflineOnceAndLaterIoFails) {
    auto session = openGpib();
    session->close();
    session->close();
    EXPECT_THAT(fake.calls(), ElementsAre("ibdev 0 5 0x0 12 1 0x40a", "ibonl 0"));
    EXPECT_THROW(session->read(), VisaError);
    session.reset();
    EXPECT_EQ(fake.openHandles(), 0);
}

TEST_F(GpibSessionTest, DroppingASessionTakesTheDeviceOffline) {
    openGpib();
    EXPECT_THAT(fake.calls(), ElementsAre("ibdev 0 5 0x0 12 1 0x40a", "ibonl 0"));
    EXPECT_EQ(fake.openHandles(), 0);
}

TEST_F(GpibSessionTest, HasNoLock) {
    ExpectNoLock(*openGpib(), "GPIB0::5::INSTR");
}

} // namespace
