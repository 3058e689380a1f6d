// The USBTMC session's write and read loop over a socket pair standing in for /dev/usbtmcN, and its
// real open path against nodes that are not usbtmc devices.

#include "visa/UsbtmcSession.h"

#include "tests/local/support/IdentityQuery.h"
#include "tests/local/support/NoLock.h"
#include "tests/local/support/SocketUsbtmcDevice.h"
#include "tests/support/VisaFailure.h"
#include "visa/ResourceName.h"
#include "visa/VisaError.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

namespace {

using namespace std::chrono_literals;
using testing::AllOf;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::StartsWith;
using visa::VisaError;

constexpr const char* kResource = "USB0::0x1A2B::0x1234::SN001::INSTR";

// The session exactly as on the device, except that the driver's time-out ioctl becomes the socket's
// receive and send time-outs (a socket has no such ioctl). Records what the driver would have been told.
class SocketUsbtmcSession : public visa::UsbtmcSession {
public:
    explicit SocketUsbtmcSession(base::FileDescriptor hostEnd)
        : UsbtmcSession(kResource, std::move(hostEnd)) {}

    std::vector<std::chrono::milliseconds> driverTimeouts;

protected:
    void setDriverTimeout(int fd, std::chrono::milliseconds timeout) override {
        driverTimeouts.push_back(timeout);
        timeval tv{};
        tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
        tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    }
};

TEST(UsbtmcSessionTest, WritesOneMessagePerTransferAndReadsTheWholeReply) {
    SocketUsbtmcDevice device;
    SocketUsbtmcSession session(device.takeHostEnd());
    ExpectWholeIdentity(session);
    session.write("DIG:OUTP:DATA 5;DIG:OUTP:DATA?");
    EXPECT_EQ(session.read(), "+5\n");
    EXPECT_THAT(device.received(), ElementsAre("*IDN?", "DIG:OUTP:DATA 5;DIG:OUTP:DATA?"));
}

TEST(UsbtmcSessionTest, JoinsAReplySplitAcrossTransfers) {
    SocketUsbtmcDevice device(SocketUsbtmcDevice::Mode::SplitReplies);
    SocketUsbtmcSession session(device.takeHostEnd());
    session.write("*IDN?");
    const std::string reply = session.read();
    EXPECT_THAT(reply, StartsWith("Korvane,"));
    EXPECT_EQ(std::count(reply.begin(), reply.end(), '\n'), 1);
}

TEST(UsbtmcSessionTest, KeepsWhatFollowsALineFeedForTheNextReadUnlessFlushed) {
    SocketUsbtmcDevice device(SocketUsbtmcDevice::Mode::ExtraLine);
    SocketUsbtmcSession session(device.takeHostEnd());
    session.setTimeout(200ms);
    session.write("DIG:OUTP:DATA?");
    EXPECT_EQ(session.read(), "+0\n");
    EXPECT_EQ(session.read(), "EXTRA\n");
    session.write("DIG:OUTP:DATA?");
    EXPECT_EQ(session.read(), "+0\n");
    session.flushRead();
    EXPECT_EQ(FailureKind([&] { session.read(); }), VisaError::Kind::Timeout);
}

TEST(UsbtmcSessionTest, GivesTheDriverTheSessionTimeoutRaisedToItsMinimum) {
    SocketUsbtmcDevice device;
    SocketUsbtmcSession session(device.takeHostEnd());
    session.write("*CLS");
    session.setTimeout(20ms);
    session.write("*CLS");
    session.write("*CLS");
    session.setTimeout(5000ms);
    session.write("*CLS");
    EXPECT_THAT(session.driverTimeouts, ElementsAre(2000ms, 100ms, 5000ms));
}

TEST(UsbtmcSessionTest, ASilentDeviceIsATimeoutNamingTheLimit) {
    SocketUsbtmcDevice device;
    SocketUsbtmcSession session(device.takeHostEnd());
    session.setTimeout(150ms);
    session.write("*CLS"); // a command: nothing comes back
    std::string description;
    EXPECT_EQ(FailureKind([&] { session.read(); }, &description), VisaError::Kind::Timeout);
    EXPECT_EQ(description, std::string(kResource) + ": reading the reply failed: no answer within 150 ms");
}

TEST(UsbtmcSessionTest, ADeviceThatGoesAwayMidReadIsALostConnection) {
    SocketUsbtmcDevice device(SocketUsbtmcDevice::Mode::HangUpOnMessage);
    SocketUsbtmcSession session(device.takeHostEnd());
    session.write("*IDN?");
    std::string description;
    EXPECT_EQ(FailureKind([&] { session.read(); }, &description), VisaError::Kind::ConnectionLost);
    EXPECT_THAT(description, AllOf(StartsWith(kResource), HasSubstr("the instrument went away")));
}

TEST(UsbtmcSessionTest, AReplyWithoutLineFeedIsBounded) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    base::FileDescriptor deviceEnd(fds[1]);
    SocketUsbtmcSession session{base::FileDescriptor(fds[0])};
    session.setTimeout(2000ms);
    // Written in pieces by this thread while the session reads: more than the reply limit, no line feed.
    std::jthread writer([&] {
        const std::string block(64 * 1024, 'x');
        for (std::size_t sent = 0; sent <= visa::kMaxReplyBytes + block.size();) {
            const ssize_t n = send(deviceEnd.get(), block.data(), block.size(), MSG_NOSIGNAL);
            if (n <= 0) {
                return;
            }
            sent += static_cast<std::size_t>(n);
        }
    });
    EXPECT_EQ(FailureKind([&] { session.read(); }), VisaError::Kind::Protocol);
    session.close();
}

TEST(UsbtmcSessionTest, CloseEndsTheSessionAndReleasesTheNode) {
    SocketUsbtmcDevice device;
    SocketUsbtmcSession session(device.takeHostEnd());
    session.close();
    session.close();
    EXPECT_EQ(FailureKind([&] { session.write("*IDN?"); }), VisaError::Kind::Closed);
    EXPECT_EQ(FailureKind([&] { session.read(); }), VisaError::Kind::Closed);
}

// The real open path: the ioctl is always made, so a node that is no usbtmc device fails at open.
TEST(UsbtmcOpenTest, ANodeThatIsNotAUsbtmcDeviceFailsAtOpen) {
    const auto path = std::filesystem::temp_directory_path() / "pinwright-not-usbtmc";
    std::ofstream(path) << "";
    std::string description;
    EXPECT_EQ(FailureKind([&] { visa::UsbtmcSession::open(visa::ResourceName::parse(kResource), path); },
                          &description),
              VisaError::Kind::Other);
    EXPECT_THAT(description, AllOf(StartsWith(kResource), HasSubstr("refused the time-out of 2000 ms"),
                                   HasSubstr("not a usbtmc device")));
    std::filesystem::remove(path);
}

TEST(UsbtmcOpenTest, AMissingNodeIsNotFound) {
    std::string description;
    EXPECT_EQ(FailureKind(
                  [&] {
                      visa::UsbtmcSession::open(visa::ResourceName::parse(kResource),
                                                "/nonexistent/pinwright/usbtmc7");
                  },
                  &description),
              VisaError::Kind::NotFound);
    EXPECT_THAT(description, HasSubstr("/nonexistent/pinwright/usbtmc7"));
}

struct OpenErrorCase {
    int error;
    VisaError::Kind kind;
    std::vector<std::string> words;
};

void PrintTo(const OpenErrorCase& c, std::ostream* out) {
    *out << "errno " << c.error;
}

class UsbtmcOpenErrorTest : public testing::TestWithParam<OpenErrorCase> {};

TEST_P(UsbtmcOpenErrorTest, SaysWhatWentWrongAndHowToFixIt) {
    const auto& c = GetParam();
    const VisaError error = visa::UsbtmcSession::openFailure(
        visa::ResourceName::parse("USB0::0x0A5F::0x00FF::SN-2::INSTR"), "/dev/usbtmc4", c.error);
    ExpectFailureSays(error, c.kind,
                      "USB0::0x0A5F::0x00FF::SN-2::INSTR: cannot open /dev/usbtmc4: ", c.words);
}

INSTANTIATE_TEST_SUITE_P(Errors, UsbtmcOpenErrorTest,
                         testing::Values(OpenErrorCase{EACCES,
                                                       VisaError::Kind::Refused,
                                                       {"permission denied", "ATTRS{idVendor}==\"0a5f\"",
                                                        "ATTRS{idProduct}==\"00ff\"", "/etc/udev/rules.d/",
                                                        "plugdev group"}},
                                         OpenErrorCase{ENODEV, VisaError::Kind::NotFound, {"unplugged"}},
                                         OpenErrorCase{EBUSY, VisaError::Kind::Refused, {"another program"}},
                                         OpenErrorCase{EIO, VisaError::Kind::Other, {"Input/output error"}}));

// Writes to a stand-in whose device end is gone must fail, not kill the test program.
const bool kIgnoreSigpipe = [] {
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}();

TEST(UsbtmcSessionTest, HasNoLock) {
    SocketUsbtmcDevice device;
    SocketUsbtmcSession session(device.takeHostEnd());
    ExpectNoLock(session, kResource);
}

} // namespace
