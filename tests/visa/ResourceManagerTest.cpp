#include "visa/ResourceManager.h"

#include "visa/VisaError.h"

#include <chrono>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;
using testing::StartsWith;
using visa::VisaError;

VisaError openFailure(const std::string& resource, std::chrono::milliseconds openTimeout = 2000ms) {
    try {
        visa::ResourceManager().Open(resource, 0, openTimeout, "");
    } catch (const VisaError& error) {
        return error;
    }
    ADD_FAILURE() << resource << " opened";
    return VisaError(VisaError::Kind::Other, "");
}

// A loopback TCP socket bound to an ephemeral port; listening only when asked.
class LoopbackPort {
public:
    explicit LoopbackPort(bool listening) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        if (listening)
            ::listen(fd_, 0);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackPort() { ::close(fd_); }
    LoopbackPort(const LoopbackPort&) = delete;
    LoopbackPort& operator=(const LoopbackPort&) = delete;

    std::string resource() const { return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET"; }

private:
    int fd_;
    std::uint16_t port_ = 0;
};

TEST(ResourceManagerOpen, ReportsARefusedPort) {
    const LoopbackPort bound(false);
    const auto error = openFailure(bound.resource());
    EXPECT_EQ(error.kind(), VisaError::Kind::Refused);
    EXPECT_THAT(error.what(), StartsWith(bound.resource() + ": connection refused"));
}

TEST(ResourceManagerOpen, GivesUpOnAPeerThatNeverAcceptsWithinTheOpenTimeout) {
    // A listener that never accepts and whose queue is full drops further handshakes unanswered.
    const LoopbackPort stalled(true);
    std::vector<std::unique_ptr<visa::MessageSession>> fillers;
    for (int i = 0; i < 4; ++i) {
        try {
            fillers.push_back(visa::ResourceManager().Open(stalled.resource(), 0, 300ms, ""));
        } catch (const VisaError& error) {
            EXPECT_EQ(error.kind(), VisaError::Kind::Timeout);
            EXPECT_EQ(std::string(error.what()), stalled.resource() + ": no answer within 300 ms");
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
