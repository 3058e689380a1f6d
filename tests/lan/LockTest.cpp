// The simulator's exclusive lock, spoken to at the protocol level over real loopback servers: one holder per
// mainframe across VXI-11 links, HiSLIP sessions and the raw socket; others wait up to their lock time-out or
// are refused with their protocol's own answer; the lock goes on unlock, link or session close and
// disconnect; waiting holds up no other client.

#include "protocol/HislipMessage.h"
#include "protocol/Vxi11Messages.h"
#include "sim/HislipServer.h"
#include "sim/Mainframe.h"
#include "sim/SocketServer.h"
#include "sim/Vxi11Server.h"
#include "tests/lan/HislipProbe.h"
#include "tests/lan/Vxi11Probe.h"
#include "tests/sim/LoopbackClient.h"
#include "tests/support/Eventually.h"

#include <chrono>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using namespace protocol;
using namespace std::chrono_literals;
using lan::testing::HislipProbe;
using lan::testing::Vxi11Probe;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kShort = 300ms;
constexpr std::uint32_t kLong = 10000; // ms: a wait that only a release can end in time
// A request that may not wait, or must give up at kShort, ends long before this.
constexpr auto kNoWait = std::chrono::milliseconds(kLong / 2);

// One mainframe behind the three servers the lock spans.
struct Servers {
    sim::Mainframe mainframe;
    sim::Vxi11Server vxi11{mainframe};
    sim::HislipServer hislip{mainframe};
    sim::SocketServer socket{mainframe};
};

enum class Protocol { Vxi11, Hislip };

// What each protocol answers to a lock request and a release.
struct LockCodes {
    int granted;
    int timedOut;
    int noneHeld;
    int alreadyHeld;
};
constexpr LockCodes kVxi11Codes{kVxi11NoError, kVxi11DeviceLocked, kVxi11NoLockHeld, kVxi11NoError};
constexpr LockCodes kHislipCodes{1, 0, 3, 3};

// One client of either protocol, as the shared scenarios need it: its lock calls give the protocol's code.
class Locker {
public:
    virtual ~Locker() = default;
    virtual int lock(std::uint32_t timeoutMs) = 0;
    virtual int unlock() = 0;
    virtual void command(const std::string& message) = 0;
    // A query; nullopt when no reply comes within `patience` (the lock holds it back).
    virtual std::optional<std::string> query(const std::string& message,
                                             std::chrono::milliseconds patience) = 0;
};

class Vxi11Locker : public Locker {
public:
    explicit Vxi11Locker(std::uint16_t port) : probe_(port), link_(probe_.createLink().linkId) {}
    int lock(std::uint32_t timeoutMs) override { return probe_.lock(link_, kFlagWaitLock, timeoutMs); }
    int unlock() override { return probe_.unlock(link_); }
    void command(const std::string& message) override {
        EXPECT_EQ(probe_.write(link_, message), kVxi11NoError);
    }
    std::optional<std::string> query(const std::string& message,
                                     std::chrono::milliseconds patience) override {
        const auto wait = static_cast<std::uint32_t>(patience.count());
        if (probe_.write(link_, message, kFlagWaitLock, wait) != kVxi11NoError) {
            return std::nullopt;
        }
        return probe_.read(link_, kFlagWaitLock, wait).data;
    }

private:
    Vxi11Probe probe_;
    std::int32_t link_;
};

class HislipLocker : public Locker {
public:
    explicit HislipLocker(std::uint16_t port) : probe_(port) {}
    int lock(std::uint32_t timeoutMs) override { return probe_.requestLock(timeoutMs); }
    int unlock() override { return probe_.releaseLock(); }
    void command(const std::string& message) override { probe_.send(message); }
    std::optional<std::string> query(const std::string& message,
                                     std::chrono::milliseconds patience) override {
        probe_.send(message);
        const auto reply = probe_.nextReply(patience);
        return reply ? std::optional(reply->payload) : std::nullopt;
    }
    // The reply to a query that was held back.
    std::optional<std::string> heldBackReply(std::chrono::milliseconds patience) {
        const auto reply = probe_.nextReply(patience);
        return reply ? std::optional(reply->payload) : std::nullopt;
    }

private:
    HislipProbe probe_;
};

template <typename F> std::chrono::milliseconds elapsed(F&& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

class LockOverEachProtocol : public ::testing::TestWithParam<Protocol> {
protected:
    std::unique_ptr<Locker> client() {
        if (GetParam() == Protocol::Vxi11) {
            return std::make_unique<Vxi11Locker>(servers.vxi11.port());
        }
        return std::make_unique<HislipLocker>(servers.hislip.port());
    }
    const LockCodes& codes() const { return GetParam() == Protocol::Vxi11 ? kVxi11Codes : kHislipCodes; }

    Servers servers;
};

TEST_P(LockOverEachProtocol, OneHolderAtATimeAndReleasingWhatIsNotHeldIsAnError) {
    auto first = client();
    auto second = client();
    EXPECT_EQ(first->unlock(), codes().noneHeld);
    EXPECT_EQ(first->lock(0), codes().granted);
    EXPECT_EQ(first->lock(0), codes().alreadyHeld);
    std::chrono::milliseconds took{};
    int answer = -1;
    took = elapsed([&] { answer = second->lock(0); });
    EXPECT_EQ(answer, codes().timedOut) << "a second holder";
    EXPECT_LT(took, kNoWait) << "a request that may not wait waited";
    EXPECT_EQ(second->unlock(), codes().noneHeld);
    EXPECT_EQ(first->unlock(), codes().granted);
    EXPECT_EQ(second->lock(0), codes().granted);
}

TEST_P(LockOverEachProtocol, AWaitingRequestIsRefusedAtItsTimeOut) {
    auto holder = client();
    auto other = client();
    ASSERT_EQ(holder->lock(0), codes().granted);
    int answer = -1;
    const auto took = elapsed([&] { answer = other->lock(static_cast<std::uint32_t>(kShort.count())); });
    EXPECT_EQ(answer, codes().timedOut);
    EXPECT_GE(took, kShort - 20ms);
    EXPECT_LT(took, kNoWait) << "the request waited past its own time-out";
}

// How the holder lets go while another client waits for the lock.
enum class Release { Unlock, Disconnect };

TEST_P(LockOverEachProtocol, AWaitingRequestIsGrantedOnReleaseAndOnDisconnectWhileTheHolderIsStillServed) {
    for (const Release release : {Release::Unlock, Release::Disconnect}) {
        auto holder = client();
        auto waiter = client();
        ASSERT_EQ(holder->lock(0), codes().granted);
        const auto start = Clock::now();
        auto waited = std::async(std::launch::async, [&] { return waiter->lock(kLong); });
        ASSERT_TRUE(test_support::eventually([&] { return servers.mainframe.lockWaiters() == 1; }));
        // The wait holds up neither the holder nor a third client.
        EXPECT_EQ(holder->query("*IDN?", 1000ms), "Korvane,MF-7,SIM0001,1.0\n");
        EXPECT_EQ(waited.wait_for(0ms), std::future_status::timeout) << "granted while still held";
        if (release == Release::Unlock) {
            EXPECT_EQ(holder->unlock(), codes().granted);
        } else {
            holder.reset();
        }
        EXPECT_EQ(waited.get(), codes().granted) << (release == Release::Unlock ? "unlock" : "disconnect");
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(kLong)) << "granted only at the time-out";
        EXPECT_EQ(waiter->unlock(), codes().granted);
    }
}

TEST_P(LockOverEachProtocol, AnotherClientsMessageWaitsForTheRelease) {
    auto holder = client();
    auto other = client();
    ASSERT_EQ(holder->lock(0), codes().granted);
    holder->command("DIG:OUTP:DATA 5");
    EXPECT_EQ(other->query("DIG:OUTP:DATA?", kShort), std::nullopt)
        << "served while another client held the lock";
    ASSERT_EQ(holder->unlock(), codes().granted);
    // VXI-11 refused the query at its lock time-out; HiSLIP held it back and runs it once the lock goes.
    const auto reply = GetParam() == Protocol::Vxi11
                           ? other->query("DIG:OUTP:DATA?", 1000ms)
                           : static_cast<HislipLocker&>(*other).heldBackReply(2000ms);
    EXPECT_EQ(reply, "+5\n");
}

INSTANTIATE_TEST_SUITE_P(Both, LockOverEachProtocol, ::testing::Values(Protocol::Vxi11, Protocol::Hislip),
                         [](const auto& info) { return info.param == Protocol::Vxi11 ? "Vxi11" : "Hislip"; });

TEST(Vxi11Lock, CallsFromAnotherLinkAreRefusedAtOnceOrAfterTheirLockTimeOut) {
    Servers servers;
    Vxi11Probe holder(servers.vxi11.port());
    Vxi11Probe other(servers.vxi11.port());
    const std::int32_t held = holder.createLink().linkId;
    const std::int32_t link = other.createLink().linkId;
    // A second link on the holder's own connection is another link all the same.
    const std::int32_t sibling = holder.createLink().linkId;
    ASSERT_EQ(holder.lock(held, 0, 0), kVxi11NoError);

    struct Case {
        const char* call;
        std::function<std::int32_t(std::uint32_t flags, std::uint32_t lockTimeout)> run;
    };
    const Case cases[] = {
        {"device_write",
         [&](auto flags, auto wait) {
             return other.write(link, "*CLS", flags, wait);
         }},
        {"device_read",
         [&](auto flags, auto wait) {
             return other.read(link, flags, wait).error;
         }},
        {"device_clear",
         [&](auto flags, auto wait) {
             return other.clear(link, flags, wait);
         }},
        {"device_lock",
         [&](auto flags, auto wait) {
             return other.lock(link, flags, wait);
         }},
        {"device_write on the holder's connection",
         [&](auto flags, auto wait) {
             return holder.write(sibling, "*CLS", flags, wait);
         }},
    };
    for (const Case& c : cases) {
        std::int32_t error = -1;
        // Without the wait flag the lock time-out does not count.
        auto took = elapsed([&] { error = c.run(0, kLong); });
        EXPECT_EQ(error, kVxi11DeviceLocked) << c.call;
        EXPECT_LT(took, kNoWait) << c.call << " waited without the wait flag";
        took = elapsed([&] { error = c.run(kFlagWaitLock, static_cast<std::uint32_t>(kShort.count())); });
        EXPECT_EQ(error, kVxi11DeviceLocked) << c.call;
        EXPECT_GE(took, kShort - 20ms) << c.call;
    }
    EXPECT_EQ(holder.write(held, "*IDN?"), kVxi11NoError);
    EXPECT_EQ(holder.read(held).data, "Korvane,MF-7,SIM0001,1.0\n");
    EXPECT_EQ(holder.destroyLink(held), kVxi11NoError) << "destroy_link releases the lock";
    EXPECT_EQ(other.write(link, "*IDN?"), kVxi11NoError);
    EXPECT_EQ(other.read(link).data, "Korvane,MF-7,SIM0001,1.0\n");
}

TEST(Vxi11Lock, CreateLinkWithLockDeviceTakesTheLockOrIsRefusedWithoutALink) {
    Servers servers;
    Vxi11Probe first(servers.vxi11.port());
    Vxi11Probe second(servers.vxi11.port());
    const CreateLinkResp locked = first.createLink("inst0", true, 0);
    ASSERT_EQ(locked.error, kVxi11NoError);
    std::int32_t error = -1;
    const auto took = elapsed(
        [&] { error = second.createLink("inst0", true, static_cast<std::uint32_t>(kShort.count())).error; });
    EXPECT_EQ(error, kVxi11DeviceLocked);
    EXPECT_GE(took, kShort - 20ms);
    EXPECT_EQ(servers.vxi11.linkedDevices().size(), 1u) << "the refused create_link left a link";
    const std::int32_t plain = second.createLink().linkId; // a link without the lock is still offered
    EXPECT_EQ(second.lock(plain, 0, 0), kVxi11DeviceLocked);
    EXPECT_EQ(first.unlock(locked.linkId), kVxi11NoError);
    EXPECT_EQ(second.lock(plain, 0, 0), kVxi11NoError);
}

TEST(HislipLock, LockInformationIsTruthfulAndSharedLocksAreRefused) {
    Servers servers;
    HislipProbe first(servers.hislip.port());
    HislipProbe second(servers.hislip.port());
    const auto info = [](HislipProbe& probe) {
        const HislipMessage answer = probe.lockInfo();
        EXPECT_EQ(answer.type(), HislipType::AsyncLockInfoResponse);
        return std::pair<int, std::uint32_t>(answer.header.control, answer.header.parameter);
    };
    EXPECT_EQ(info(first), std::make_pair(0, 0u));
    EXPECT_EQ(second.requestLock(0, "shared"), 3) << "a shared lock";
    EXPECT_EQ(info(first), std::make_pair(0, 0u)) << "the refused shared lock was granted";
    ASSERT_EQ(first.requestLock(0), 1);
    EXPECT_EQ(info(first), std::make_pair(1, 1u));
    EXPECT_EQ(info(second), std::make_pair(1, 1u)) << "as another client sees it";
    ASSERT_EQ(first.releaseLock(), 1);
    EXPECT_EQ(info(second), std::make_pair(0, 0u));
}

TEST(LockAcrossTransports, AVxi11HolderBlocksHislipAndTheRawSocketUntilItLetsGo) {
    Servers servers;
    Vxi11Probe vxi11(servers.vxi11.port());
    const std::int32_t link = vxi11.createLink().linkId;
    HislipProbe hislip(servers.hislip.port());
    sim::testing::LoopbackClient raw(servers.socket.port());
    ASSERT_EQ(vxi11.lock(link, 0, 0), kVxi11NoError);

    EXPECT_EQ(hislip.lockInfo().header.control, 1) << "HiSLIP does not see the VXI-11 lock";
    EXPECT_EQ(hislip.requestLock(static_cast<std::uint32_t>(kShort.count())), 0) << "two holders";
    raw.send("*IDN?\n");
    auto rawReply = std::async(std::launch::async, [&] { return raw.readLine(); });
    auto hislipLock = std::async(std::launch::async, [&] { return hislip.requestLock(kLong); });
    EXPECT_EQ(rawReply.wait_for(kShort), std::future_status::timeout) << "the raw socket went past the lock";
    EXPECT_EQ(vxi11.unlock(link), kVxi11NoError);
    EXPECT_EQ(hislipLock.get(), 1);
    EXPECT_EQ(vxi11.lock(link, kFlagWaitLock, static_cast<std::uint32_t>(kShort.count())),
              kVxi11DeviceLocked);
    EXPECT_EQ(hislip.releaseLock(), 1);
    EXPECT_EQ(rawReply.get(), "Korvane,MF-7,SIM0001,1.0\n");
}

} // namespace
