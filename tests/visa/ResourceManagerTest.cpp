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
