// The instrument's exclusive lock around every change of the port, against another client that holds
// it: the change waits for it and goes ahead once it is free, or gives up at --lock-timeout with status 3
// having sent nothing.
#include "tests/cli/CliRun.h"
#include "tests/cli/ServedInstrument.h"
#include "tests/support/Eventually.h"
#include "visa/ResourceManager.h"

#include <fstream>
#include <gtest/gtest.h>
#include <thread>

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class AnotherClientsLock : public ::testing::TestWithParam<Transport> {
protected:
    void SetUp() override {
        instrument = std::make_unique<ServedInstrument>(GetParam(), 0);
        other = visa::ResourceManager().Open(instrument->resource(), milliseconds(2000));
        ASSERT_TRUE(other->canLock());
        other->lockExclusive(milliseconds(1000));
        instrument->mainframe().traffic().clear();
    }

    bool anySettingSent() {
        for (const auto& message : instrument->mainframe().traffic().received())
            if (message.find(' ') != std::string::npos)
                return true;
        return false;
    }

    std::unique_ptr<ServedInstrument> instrument;
    std::unique_ptr<visa::MessageSession> other; // another client, holding the lock
};

TEST_P(AnotherClientsLock, ChangeGivesUpAtTheLockTimeOutHavingSentNothing) {
    const auto start = std::chrono::steady_clock::now();
    const auto result = runCliHere({"-r", instrument->resource(), "--lock-timeout", "300", "output", "5"});
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(300));
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err,
              "pinwright-cli: " + instrument->resource() +
                  ": locking: the instrument is locked by another client; gave up after 300 ms\n");
    EXPECT_FALSE(anySettingSent());
    EXPECT_EQ(instrument->mainframe().state().outputWord, 0);
}

TEST_P(AnotherClientsLock, ChangeWaitsAndGoesAheadOnceTheLockIsFree) {
    std::thread release([&] {
        std::this_thread::sleep_for(milliseconds(300));
        other->unlock();
    });
    const auto start = std::chrono::steady_clock::now();
    const auto result = runCliHere({"-r", instrument->resource(), "--lock-timeout", "5000", "output", "5"});
    release.join();
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(300));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(instrument->mainframe().state().outputWord, 5);
}

// A read takes no lock, but the instrument holds back another client's messages (HiSLIP) or refuses them
// (VXI-11) while the lock is held: the user is told so, not that the instrument did not answer.
TEST_P(AnotherClientsLock, AReadSaysTheInstrumentIsLocked) {
    const auto result = runCliHere({"-r", instrument->resource(), "--timeout", "300", "show"});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err,
              "pinwright-cli: " + instrument->resource() +
                  ": connecting: the instrument is locked by another client; gave up after 300 ms\n");
    EXPECT_FALSE(anySettingSent());
}

// Instruments on sockets are fibers of one thread: one that waits for another client's lock must hold
// up none of the others.
TEST_P(AnotherClientsLock, AWaitForTheLockHoldsUpNoOtherInstrument) {
    ServedInstrument free{Transport::Socket, 0};
    const std::string file = ::testing::TempDir() + "lock-rack.json";
    std::ofstream(file) << R"({"format": "pinwright-profile", "version": 1, "outputWord": 5})";
    CliResult result;
    std::thread cli([&] {
        result = runCliHere(
            {"-r", instrument->resource(), "-r", free.resource(), "--lock-timeout", "60000", "apply", file});
    });
    // The lock is released only once the free instrument has its profile: had it waited for the locked
    // one, it would not get it before the lock time-out, long after this patience.
    const bool freeApplied =
        test_support::eventually([&] { return free.mainframe().state().outputWord == 5; });
    const int lockedWord = instrument->mainframe().state().outputWord;
    other->unlock();
    cli.join();
    EXPECT_TRUE(freeApplied) << "the free instrument waited for the locked one";
    EXPECT_EQ(lockedWord, 0) << "the locked one went ahead";
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(instrument->mainframe().state().outputWord, 5);
}

INSTANTIATE_TEST_SUITE_P(LockingTransports, AnotherClientsLock,
                         ::testing::Values(Transport::Vxi11, Transport::Hislip),
                         [](const auto& info) { return ServedInstrument::name(info.param); });

} // namespace
