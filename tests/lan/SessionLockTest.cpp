// The instrument's exclusive lock over VXI-11 (device_lock / device_unlock) and HiSLIP (AsyncLock):
// granted, refused at the end of the lock time-out and released, against peers whose answers the
// tests write, and against the simulator; and the transports that have no lock saying so.

#include "protocol/HislipMessage.h"
#include "protocol/Vxi11Messages.h"
#include "sim/HislipServer.h"
#include "sim/Mainframe.h"
#include "sim/SocketServer.h"
#include "simbackend/SimBoards.h"
#include "simbackend/SimSession.h"
#include "tests/lan/ScriptedHislipServer.h"
#include "tests/lan/Vxi11Peers.h"
#include "tests/local/support/NoLock.h"
#include "tests/support/VisaFailure.h"
#include "visa/HislipSession.h"
#include "visa/SocketSession.h"
#include "visa/TraceLog.h"
#include "visa/TracingSession.h"

#include <chrono>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

using namespace protocol;
using namespace std::chrono_literals;
using namespace testing;
using lan_test::Answer;
using lan_test::ScriptedHislip;
using lan_test::ScriptedVxi11;
using lan_test::SimulatedVxi11;
using visa::VisaError;

namespace {

constexpr auto kIoTimeout = 300ms;
constexpr auto kLockTimeout = 400ms;

// An answer held back by `delay`: its first byte goes out at once, the rest after the pause.
Answer delayed(Answer answer, std::chrono::milliseconds delay) {
    const std::string record = answer.chunks.at(0);
    return Answer{{record.substr(0, 1), record.substr(1)}, delay};
}

// A core channel that answers device_lock with `lockError` after `lockDelay`, device_unlock with
// `unlockError`, and records the last device_lock arguments.
struct LockingVxi11 {
    LockingVxi11(std::int32_t lockError, std::chrono::milliseconds lockDelay, std::int32_t unlockError = 0)
        : peer([=, this](const RpcCall& call) {
              if (call.procedure == kDeviceLock) {
                  lastLock = DeviceLockParms::decode(call.arguments);
                  return delayed(lan_test::success(call.xid, encodeDeviceError(lockError)), lockDelay);
              }
              if (call.procedure == kDeviceUnlock) {
                  unlockedLink = decodeLink(call.arguments);
                  return lan_test::success(call.xid, encodeDeviceError(unlockError));
              }
              return lan_test::linkAndWrite(call);
          }) {}

    DeviceLockParms lastLock;
    std::int32_t unlockedLink = -1;
    ScriptedVxi11 peer;
};

TEST(Vxi11Lock, AskedForWithWaitLockAndTheLockTimeoutThenReleasedOnTheLink) {
    LockingVxi11 vxi11(kVxi11NoError, 0ms);
    auto session = vxi11.peer.open(kIoTimeout);
    EXPECT_TRUE(session->canLock());
    session->lockExclusive(1500ms);
    EXPECT_EQ(vxi11.lastLock.linkId, 1);
    EXPECT_EQ(vxi11.lastLock.flags, kFlagWaitLock);
    EXPECT_EQ(vxi11.lastLock.lockTimeout, 1500u);
    session->unlock();
    EXPECT_EQ(vxi11.unlockedLink, 1);
    EXPECT_THAT(vxi11.peer.core.procedures(), ElementsAre(kCreateLink, kDeviceLock, kDeviceUnlock));
}

// The instrument answers "locked" only when the lock time-out ends, later than the I/O time-out alone
// would wait: the failure must be the lock's, not a time-out of the call.
TEST(Vxi11Lock, LockedAtTheEndOfTheLockTimeoutIsALockTimeoutNamingTheResource) {
    LockingVxi11 vxi11(kVxi11DeviceLocked, kLockTimeout);
    auto session = vxi11.peer.open(kIoTimeout);
    const VisaError error = FailureOf([&] { session->lockExclusive(kLockTimeout); });
    EXPECT_EQ(error.kind(), VisaError::Kind::LockTimeout);
    EXPECT_THAT(error.what(), StartsWith("TCPIP0::127.0.0.1::INSTR: the instrument is locked by another client; gave up after 400 ms"));
}

TEST(Vxi11Lock, UnlockWithoutTheLockIsReportedInPlainWords) {
    LockingVxi11 vxi11(kVxi11NoError, 0ms, kVxi11NoLockHeld);
    auto session = vxi11.peer.open(kIoTimeout);
    const VisaError error = FailureOf([&] { session->unlock(); });
    EXPECT_THAT(error.what(), HasSubstr("unlock failed: no lock held by this link"));
}

TEST(Vxi11Lock, NoAnswerToDeviceLockEndsTheLink) {
    ScriptedVxi11 peer([](const RpcCall& call) {
        return call.procedure == kDeviceLock ? Answer{} : lan_test::linkAndWrite(call);
    });
    auto session = peer.open(kIoTimeout);
    EXPECT_EQ(FailureKind([&] { session->lockExclusive(100ms); }), VisaError::Kind::Timeout);
    EXPECT_EQ(FailureKind([&] { session->write("*IDN?"); }), VisaError::Kind::Closed);
    EXPECT_THAT(peer.core.procedures(), ElementsAre(kCreateLink, kDeviceLock, kDestroyLink));
}

TEST(Vxi11Lock, TracingSessionPassesTheLockThrough) {
    LockingVxi11 vxi11(kVxi11NoError, 0ms);
    visa::TracingSession traced(vxi11.peer.open(kIoTimeout), "TCPIP0::127.0.0.1::INSTR",
                                visa::TraceLog::toStandardError());
    EXPECT_TRUE(traced.canLock());
    traced.lockExclusive(700ms);
    EXPECT_EQ(vxi11.lastLock.lockTimeout, 700u);
    traced.unlock();
    EXPECT_THAT(vxi11.peer.core.procedures(), ElementsAre(kCreateLink, kDeviceLock, kDeviceUnlock));
}

// A HiSLIP server answering AsyncLock requests with `requestResult` after `delay` and releases with
// `releaseResult`.
ScriptedHislip::Script hislipLocking(HislipLockResult requestResult, std::chrono::milliseconds delay,
                                     HislipLockResult releaseResult = HislipLockResult::SuccessExclusive) {
    return [=](const HislipMessage& m) -> std::vector<std::string> {
        if (m.type() == HislipType::AsyncLock) {
            const bool request = m.header.control == kHislipLockRequest;
            if (request) {
                std::this_thread::sleep_for(delay);
            }
            // A service request may come first; the client waits on for the answer.
            return {encodeHislip(HislipType::AsyncServiceRequest, 0x40, 0),
                    encodeHislip(HislipType::AsyncLockResponse,
                                 static_cast<std::uint8_t>(request ? requestResult : releaseResult), 0)};
        }
        if (m.type() == HislipType::DataEnd) {
            return {encodeHislip(HislipType::DataEnd, 0, m.header.parameter, "OK\n")};
        }
        return {};
    };
}

std::unique_ptr<visa::HislipSession> openHislip(const ScriptedHislip& peer) {
    auto session = visa::HislipSession::open(
        visa::ResourceName::parse("TCPIP0::127.0.0.1::hislip0," + std::to_string(peer.port()) + "::INSTR"),
        2000ms);
    session->setTimeout(kIoTimeout);
    return session;
}

std::vector<HislipMessage> lockMessages(const std::vector<HislipMessage>& received) {
    std::vector<HislipMessage> locks;
    for (const auto& m : received) {
        if (m.type() == HislipType::AsyncLock) {
            locks.push_back(m);
        }
    }
    return locks;
}

TEST(HislipLock, RequestCarriesTheLockTimeoutAndReleaseTheLastMessageId) {
    ScriptedHislip peer(hislipLocking(HislipLockResult::SuccessExclusive, 0ms));
    auto session = openHislip(peer);
    EXPECT_TRUE(session->canLock());
    session->lockExclusive(1500ms);
    session->write("*IDN?");
    EXPECT_EQ(session->read(), "OK\n");
    session->unlock();
    const auto locks = lockMessages(peer.receivedWhen(6));
    ASSERT_EQ(locks.size(), 2u);
    EXPECT_EQ(locks[0].header.control, kHislipLockRequest);
    EXPECT_EQ(locks[0].header.parameter, 1500u);
    EXPECT_EQ(locks[0].payload, ""); // no lock string: exclusive
    EXPECT_EQ(locks[1].header.control, kHislipLockRelease);
    EXPECT_EQ(locks[1].header.parameter, kHislipFirstMessageId);
}

TEST(HislipLock, FailureAtTheEndOfTheLockTimeoutIsALockTimeoutNamingTheResource) {
    ScriptedHislip peer(hislipLocking(HislipLockResult::Failure, kLockTimeout));
    auto session = openHislip(peer);
    const VisaError error = FailureOf([&] { session->lockExclusive(kLockTimeout); });
    EXPECT_EQ(error.kind(), VisaError::Kind::LockTimeout);
    EXPECT_THAT(error.what(), StartsWith("TCPIP0::127.0.0.1::hislip0," + std::to_string(peer.port()) +
                                         "::INSTR: the instrument is locked by another client; gave up after 400 ms"));
}

TEST(HislipLock, ErrorsOnRequestAndReleaseAreFailures) {
    ScriptedHislip peer(hislipLocking(HislipLockResult::Error, 0ms, HislipLockResult::Error));
    auto session = openHislip(peer);
    EXPECT_EQ(FailureKind([&] { session->lockExclusive(kLockTimeout); }), VisaError::Kind::Refused);
    EXPECT_THAT(FailureOf([&] { session->unlock(); }).what(), HasSubstr("unlock failed: no lock held"));
}

TEST(HislipLock, NoAnswerToTheRequestEndsTheSession) {
    ScriptedHislip peer(lan_test::noAnswer);
    auto session = openHislip(peer);
    EXPECT_EQ(FailureKind([&] { session->lockExclusive(100ms); }), VisaError::Kind::Timeout);
    EXPECT_EQ(FailureKind([&] { session->write("*IDN?"); }), VisaError::Kind::Closed);
}

// The simulator grants every lock; a locked session's I/O goes on as before and the lock is released.
TEST(SimulatorLock, Vxi11AndHislipSessionsLockWorkAndUnlock) {
    SimulatedVxi11 vxi11;
    sim::HislipServer hislip(vxi11.mainframe);
    std::vector<std::unique_ptr<visa::MessageSession>> sessions;
    sessions.push_back(vxi11.open());
    sessions.push_back(visa::HislipSession::open(
        visa::ResourceName::parse("TCPIP0::127.0.0.1::hislip0," + std::to_string(hislip.port()) + "::INSTR"),
        2000ms));
    for (auto& session : sessions) {
        session->lockExclusive(1000ms);
        session->write("*IDN?");
        EXPECT_EQ(session->read(), "Korvane,MF-7,SIM0001,1.0\n");
        session->unlock();
    }
}

TEST(NoLock, SocketAndSimSessionsSayTheyHaveNone) {
    constexpr unsigned kBoard = 13;
    simbackend::SimBoards boards;
    sim::Mainframe& mainframe = boards.board(kBoard);
    sim::SocketServer server(mainframe);
    const std::string socket = "TCPIP0::127.0.0.1::" + std::to_string(server.port()) + "::SOCKET";
    std::vector<std::pair<std::string, std::unique_ptr<visa::MessageSession>>> sessions;
    sessions.emplace_back(socket, visa::SocketSession::open(visa::ResourceName::parse(socket), 2000ms));
    sessions.emplace_back("SIM13::INSTR",
                          simbackend::SimSession::open(visa::ResourceName::parse("SIM13::INSTR"), boards));
    for (auto& [resource, session] : sessions) {
        ExpectNoLock(*session, resource);
    }
}

} // namespace
