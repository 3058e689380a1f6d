// The VISA-library backend against the fake libvisa.so.0 (found through LD_LIBRARY_PATH): the call
// sequence, time-outs, reading in pieces, the mapping of status codes to descriptions, and RAII close.

#include "tests/local/support/FakeDriverControls.h"
#include "tests/local/support/IdentityQuery.h"
#include "tests/local/support/NoLock.h"
#include "tests/support/VisaFailure.h"
#include "visa/LocalBusBackends.h"
#include "visa/ResourceName.h"
#include "visa/VisaCApi.h"
#include "visa/VisaError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using testing::AllOf;
using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::StartsWith;
using visa::VisaError;
namespace capi = visa::capi;

constexpr const char* kResource = "GPIB0::5::INSTR";

std::unique_ptr<visa::MessageSession> openSession(std::chrono::milliseconds openTimeout = 2000ms) {
    auto session = visa::openThroughVisaLibrary(visa::ResourceName::parse(kResource), openTimeout);
    if (!session) {
        throw std::runtime_error("the fake VISA library was not loaded");
    }
    return session;
}

class VisaLibrarySessionTest : public testing::Test {
protected:
    FakeDriverControls fake{"libvisa.so.0"};
};

TEST_F(VisaLibrarySessionTest, OpensThroughTheDefaultResourceManagerAndConfiguresTheSession) {
    auto session = openSession(1500ms);
    EXPECT_THAT(fake.calls(), ElementsAre("viOpenDefaultRM", "viOpen GPIB0::5::INSTR mode=0 timeout=1500",
                                          "viSetAttribute 0x3FFF001A 2000", // the session's time-out
                                          "viSetAttribute 0x3FFF0016 1",    // END on writes
                                          "viSetAttribute 0x3FFF0018 10",   // line feed ...
                                          "viSetAttribute 0x3FFF0038 1"));  // ... ends reads
}

TEST_F(VisaLibrarySessionTest, QueryRoundTripAppliesANewTimeoutOnceBeforeTheNextOperation) {
    auto session = openSession();
    fake.reset();
    session->setTimeout(5000ms);
    ExpectWholeIdentity(*session);
    EXPECT_THAT(fake.calls(),
                ElementsAre("viSetAttribute 0x3FFF001A 5000", "viWrite *IDN?", "viRead 65536 tmo=5000"));
}

TEST_F(VisaLibrarySessionTest, JoinsAReplyDeliveredInPiecesWithinTheOneTimeout) {
    auto session = openSession();
    fake.setReadChunk(4);
    session->write("*IDN?");
    const auto before = fake.calls().size();
    const std::string reply = session->read();
    EXPECT_THAT(reply, StartsWith("Korvane,"));
    EXPECT_EQ(reply.back(), '\n');
    // Each further piece may only wait for what is left of the read's time-out.
    const auto calls = fake.calls();
    int reads = 0;
    for (auto call = calls.begin() + static_cast<std::ptrdiff_t>(before); call != calls.end(); ++call) {
        if (call->rfind("viRead", 0) == 0) {
            ++reads;
        } else if (call->rfind("viSetAttribute 0x3FFF001A ", 0) == 0) {
            EXPECT_LE(std::stoll(call->substr(26)), 2000) << *call;
        }
    }
    EXPECT_EQ(static_cast<std::size_t>(reads), (reply.size() + 3) / 4);
}

TEST_F(VisaLibrarySessionTest, ReadWithoutAReplyTimesOutWithTheLibrarysWords) {
    auto session = openSession();
    const VisaError error = FailureOf([&] { session->read(); });
    EXPECT_EQ(error.kind(), VisaError::Kind::Timeout);
    EXPECT_THAT(error.what(), AllOf(StartsWith("GPIB0::5::INSTR: no complete reply within 2000 ms"),
                                    HasSubstr("Fake VISA: Timeout expired"), HasSubstr("0xBFFF0015")));
}

struct StatusCase {
    const char* call;
    capi::ViStatus status;
    VisaError::Kind kind;
    const char* ourWords;
    const char* libraryWords;
};

void PrintTo(const StatusCase& c, std::ostream* out) {
    *out << c.call << " status " << std::hex << static_cast<unsigned>(c.status);
}

class VisaStatusMappingTest : public VisaLibrarySessionTest,
                              public testing::WithParamInterface<StatusCase> {};

TEST_P(VisaStatusMappingTest, EveryFailureStartsWithTheResourceAndQuotesTheLibrary) {
    const StatusCase& c = GetParam();
    fake.failNext(c.call, c.status);
    const VisaError error = FailureOfExchange([] { return openSession(); });
    EXPECT_EQ(error.kind(), c.kind);
    EXPECT_THAT(error.what(), AllOf(StartsWith(std::string(kResource) + ": "), HasSubstr(c.ourWords),
                                    HasSubstr(c.libraryWords)));
    EXPECT_EQ(fake.openHandles(), 0) << "a failed open or a dropped session must close every handle";
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, VisaStatusMappingTest,
    testing::Values(StatusCase{"viOpenDefaultRM", capi::VI_ERROR_SYSTEM_ERROR, VisaError::Kind::Other,
                               "could not start its resource manager", "unknown status code"},
                    StatusCase{"viOpen", capi::VI_ERROR_RSRC_NFOUND, VisaError::Kind::NotFound,
                               "could not open it", "device is not present"},
                    StatusCase{"viOpen", capi::VI_ERROR_TMO, VisaError::Kind::Timeout,
                               "no answer within 2000 ms", "Timeout expired"},
                    StatusCase{"viOpen", capi::VI_ERROR_RSRC_BUSY, VisaError::Kind::Refused,
                               "could not open it", "cannot currently access it"},
                    StatusCase{"viSetAttribute", capi::VI_ERROR_NSUP_OPER, VisaError::Kind::Unsupported,
                               "refused to take the time-out of 2000 ms", "0xBFFF0067"},
                    StatusCase{"viWrite", capi::VI_ERROR_TMO, VisaError::Kind::Timeout,
                               "did not take the message within 2000 ms", "Timeout expired"},
                    StatusCase{"viRead", capi::VI_ERROR_CONN_LOST, VisaError::Kind::ConnectionLost,
                               "reading the reply failed", "connection for the given session has been lost"},
                    StatusCase{"viFlush", capi::VI_ERROR_IO, VisaError::Kind::Other,
                               "discarding the input buffer failed", "0xBFFF003E"}));

TEST_F(VisaLibrarySessionTest, FlushDiscardsBothReadBuffers) {
    auto session = openSession();
    fake.reset();
    session->flushRead();
    EXPECT_THAT(fake.calls(), ElementsAre("viFlush " + std::to_string(capi::VI_READ_BUF_DISCARD |
                                                                      capi::VI_IO_IN_BUF_DISCARD)));
}

TEST_F(VisaLibrarySessionTest, AnOversizedReplyFailsInsteadOfGrowingWithoutBound) {
    auto session = openSession();
    fake.queueRawReply(std::string(visa::kMaxReplyBytes + 70'000, 'x'));
    const VisaError error = FailureOf([&] { session->read(); });
    EXPECT_EQ(error.kind(), VisaError::Kind::Protocol);
    EXPECT_THAT(error.what(), StartsWith(std::string(kResource) + ": the reply is longer than"));
}

TEST_F(VisaLibrarySessionTest, CloseReleasesSessionAndResourceManagerOnceAndLaterIoFails) {
    auto session = openSession();
    EXPECT_EQ(fake.openHandles(), 2);
    fake.reset();
    session->close();
    session->close();
    EXPECT_THAT(fake.calls(), ElementsAre("viClose session", "viClose rm"));
    const VisaError error = FailureOf([&] { session->write("*IDN?"); });
    EXPECT_EQ(error.kind(), VisaError::Kind::Closed);
    session.reset();
    EXPECT_THAT(fake.calls(), ElementsAre("viClose session", "viClose rm"));
}

TEST_F(VisaLibrarySessionTest, DroppingASessionClosesItsHandles) {
    openSession();
    EXPECT_EQ(fake.openHandles(), 0);
    EXPECT_THAT(fake.calls(), Contains("viClose rm"));
}

// The installed library has locks of its own, but the sessions of this layer do not use them.
TEST_F(VisaLibrarySessionTest, HasNoLock) {
    ExpectNoLock(*openSession(), kResource);
}

} // namespace
