// The instrument's exclusive lock around every change of the port, against another client that holds
// it: the change waits for it and goes ahead once it is free, or gives up at --lock-timeout with status 3
// having sent nothing.
#include "tests/cli/CliRun.h"
#include "tests/cli/ServedInstrument.h"
#include "visa/ResourceManager.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

using std::chrono::milliseconds;

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
    EXPECT_EQ(result.err.rfind("pinwright-cli: " + instrument->resource() + ": locking: ", 0), 0u)
        << result.err;
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

INSTANTIATE_TEST_SUITE_P(LockingTransports, AnotherClientsLock,
                         ::testing::Values(Transport::Vxi11, Transport::Hislip),
                         [](const auto& info) { return ServedInstrument::name(info.param); });

} // namespace
