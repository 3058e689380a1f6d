#include "visa/ResourceManager.h"

#include "tests/support/LoopbackListener.h"
#include "visa/AddressResolver.h"
#include "visa/VisaError.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;
using testing::StartsWith;
using visa::VisaError;

VisaError openFailure(const std::string& resource, std::chrono::milliseconds openTimeout = 2000ms) {
    try {
        visa::ResourceManager().Open(resource, openTimeout);
    } catch (const VisaError& error) {
        return error;
    }
    ADD_FAILURE() << resource << " opened";
    return VisaError(VisaError::Kind::Other, "");
}

TEST(ResourceManagerOpen, ReportsARefusedPort) {
    const LoopbackListener bound(LoopbackListener::Mode::BoundOnly);
    const auto error = openFailure(bound.socketResource());
    EXPECT_EQ(error.kind(), VisaError::Kind::Refused);
    EXPECT_THAT(error.what(), StartsWith(bound.socketResource() + ": connection refused"));
}

TEST(ResourceManagerOpen, GivesUpOnAPeerThatNeverAcceptsWithinTheOpenTimeout) {
    // A listener that never accepts and whose queue is full drops further handshakes unanswered.
    const LoopbackListener stalled(LoopbackListener::Mode::Listening, 0);
    std::vector<std::unique_ptr<visa::MessageSession>> fillers;
    for (int i = 0; i < 4; ++i) {
        try {
            fillers.push_back(visa::ResourceManager().Open(stalled.socketResource(), 300ms));
        } catch (const VisaError& error) {
            EXPECT_EQ(error.kind(), VisaError::Kind::Timeout);
            EXPECT_EQ(std::string(error.what()), stalled.socketResource() + ": no answer within 300 ms");
            return;
        }
    }
    FAIL() << "every connection was taken although nothing accepts";
}

TEST(ResourceManagerOpen, ReportsAnUnknownHost) {
    const std::string resource = "TCPIP0::no-such-host.invalid::5025::SOCKET";
    const auto error = openFailure(resource);
    EXPECT_EQ(error.kind(), VisaError::Kind::NotFound);
    EXPECT_THAT(error.what(), StartsWith(resource + ": "));
    EXPECT_THAT(error.what(), HasSubstr("no-such-host.invalid"));
}

// A name resolver that never answers until the test lets it go, counting the look-ups it holds.
class SilentResolver {
public:
    SilentResolver() {
        visa::AddressResolver::setNameLookUpForTesting([this](const std::string&, std::uint16_t) {
            std::unique_lock lock(mutex_);
            ++held_;
            mostHeld_ = std::max(mostHeld_, held_);
            released_.wait(lock, [this] { return answer_; });
            --held_;
            released_.notify_all();
            return visa::AddressResolver::Result{visa::AddressResolver::Status::UnknownHost, {}, "released"};
        });
    }
    ~SilentResolver() {
        std::unique_lock lock(mutex_);
        answer_ = true;
        released_.notify_all();
        released_.wait(lock, [this] { return held_ == 0; });
        lock.unlock();
        visa::AddressResolver::setNameLookUpForTesting({});
    }
    SilentResolver(const SilentResolver&) = delete;
    SilentResolver& operator=(const SilentResolver&) = delete;

    int mostHeld() {
        const std::lock_guard lock(mutex_);
        return mostHeld_;
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    int held_ = 0;
    int mostHeld_ = 0;
    bool answer_ = false;
};

std::size_t threadCount() {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                                  std::filesystem::directory_iterator()));
}

TEST(ResourceManagerOpen, LookUpsAbandonedAtTheOpenTimeOutDoNotPileUp) {
    for (const bool sameName : {true, false}) {
        const auto threadsBefore = threadCount();
        {
            SilentResolver resolver;
            int refused = 0;
            for (int i = 0; i < 50; ++i) {
                const std::string resource =
                    "TCPIP0::psu" + std::to_string(sameName ? 0 : i) + ".invalid::5025::SOCKET";
                const auto error = openFailure(resource, 5ms);
                EXPECT_EQ(error.kind(), VisaError::Kind::Timeout) << error.what();
                if (std::string(error.what()).find("try again later") != std::string::npos)
                    ++refused;
            }
            EXPECT_LE(threadCount(), threadsBefore + visa::AddressResolver::kMaxPendingLookUps);
            EXPECT_LE(resolver.mostHeld(), sameName ? 1 : int(visa::AddressResolver::kMaxPendingLookUps));
            EXPECT_EQ(refused, sameName ? 0 : 50 - int(visa::AddressResolver::kMaxPendingLookUps));
        }
        // Once the resolver answers, the threads end and new names are looked up again. At most as many
        // threads as before: a look-up thread of an earlier open may still have been ending when they were
        // counted.
        for (int wait = 0; wait < 200 && threadCount() > threadsBefore; ++wait)
            std::this_thread::sleep_for(5ms);
        EXPECT_LE(threadCount(), threadsBefore);
        EXPECT_EQ(openFailure("TCPIP0::no-such-host.invalid::5025::SOCKET").kind(),
                  VisaError::Kind::NotFound);
    }
}

TEST(ResourceManagerOpen, PassesAMalformedResourceOnAsSuch) {
    for (const std::string resource : {"", "GPIB0::99::INSTR", "TCPIP0::host:5025::SOCKET"}) {
        const auto error = openFailure(resource);
        EXPECT_EQ(error.kind(), VisaError::Kind::BadResource) << resource;
        EXPECT_THAT(error.what(), StartsWith("\"" + resource + "\"")) << resource;
    }
}

TEST(ResourceManagerOpen, NamesWhatIsMissingForBusesWithoutABackend) {
    struct Case {
        std::string resource;
        std::vector<std::string> mentions;
    };
    for (const auto& [resource, mentions] : std::vector<Case>{
             {"GPIB0::5::INSTR", {"VISA library", "linux-gpib", "SIM0::INSTR"}},
             {"ASRL1::INSTR", {"VISA library", "SIM0::INSTR"}},
         }) {
        const auto error = openFailure(resource);
        EXPECT_EQ(error.kind(), VisaError::Kind::Unsupported) << resource;
        EXPECT_THAT(error.what(), StartsWith(resource + ": "));
        for (const auto& mention : mentions)
            EXPECT_THAT(error.what(), HasSubstr(mention)) << resource;
    }
}

} // namespace
