// Host names looked up through the fiber loop: from the hosts file, and from name servers of the test's
// own on loopback (one that says "no such name", one that never answers). No real DNS is asked.

#include "visa/AddressResolver.h"

#include "base/FiberLoop.h"
#include "base/UdpSocket.h"
#include "tests/support/CaseTable.h"

#include <arpa/inet.h>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using visa::AddressResolver;
using Status = AddressResolver::Status;

std::size_t threadCount() {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                                  std::filesystem::directory_iterator()));
}

// A name server on 127.0.0.1 that never reads what it is sent.
struct SilentNameServer {
    base::UdpSocket socket = base::UdpSocket::bind(in_addr{htonl(INADDR_LOOPBACK)}, 0);
    std::string address() const { return "127.0.0.1:" + std::to_string(socket.port()); }
};

// Answers every question on 127.0.0.1 with "no such name", as a fiber of the loop it is posted to; it
// stops once `answered` questions are answered or the loop's other fibers have all ended.
void answerNoSuchName(const base::UdpSocket& socket, const bool& finished) {
    while (!finished) {
        pollfd entry{socket.fd(), POLLIN, 0};
        if (base::FiberLoop::poll(&entry, 1, 10) <= 0)
            continue;
        while (auto question = socket.receive(512)) {
            std::string answer = question->bytes;
            if (answer.size() < 12)
                continue;
            answer[2] = static_cast<char>(answer[2] | 0x80);              // a response
            answer[3] = static_cast<char>((answer[3] & 0xF0) | 0x80 | 3); // recursion available, NXDOMAIN
            socket.sendTo(answer, question->source);
        }
    }
}

struct Name {
    const char* host;
    Status status;
    const char* firstAddress; // for a resolved name: one of its addresses
};

class Resolving : public test_cases::Table<Name, &Name::host> {};

TEST_P(Resolving, NumbersAndTheHostsFileAnswerWithoutANameServer) {
    const Name& name = GetParam();
    const auto result = AddressResolver::resolve(name.host, 5025, base::Deadline(2000ms));
    ASSERT_EQ(result.status, name.status) << result.detail;
    std::vector<std::string> texts;
    for (const auto& address : result.addresses) {
        char text[INET6_ADDRSTRLEN] = {};
        const void* raw =
            address.family == AF_INET
                ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in&>(address.storage).sin_addr)
                : static_cast<const void*>(&reinterpret_cast<const sockaddr_in6&>(address.storage).sin6_addr);
        ::inet_ntop(address.family, raw, text, sizeof text);
        texts.emplace_back(text);
        EXPECT_EQ(ntohs(reinterpret_cast<const sockaddr_in&>(address.storage).sin_port), 5025);
    }
    EXPECT_NE(std::find(texts.begin(), texts.end(), name.firstAddress), texts.end());
}

INSTANTIATE_TEST_SUITE_P(Hosts, Resolving,
                         testing::Values(Name{"127.0.0.1", Status::Resolved, "127.0.0.1"},
                                         Name{"::1", Status::Resolved, "::1"},
                                         Name{"localhost", Status::Resolved, "127.0.0.1"}));

TEST(ResolvingOnAFiber, LetsTheOtherFibersRunWhileTheNameServerIsSilentAndEndsByTheDeadline) {
    const SilentNameServer server;
    base::FiberLoop loop;
    bool resolved = false;
    int turnsWhileWaiting = 0;
    AddressResolver::Result result;
    loop.post([&] {
        result =
            AddressResolver::resolve("psu.pinwright.test", 5025, base::Deadline(300ms), server.address());
        resolved = true;
    });
    loop.post([&] {
        while (!resolved) {
            ++turnsWhileWaiting;
            base::FiberLoop::sleepFor(5ms);
        }
    });
    const auto threadsBefore = threadCount();
    loop.run();
    EXPECT_EQ(result.status, Status::TimedOut);
    EXPECT_GT(turnsWhileWaiting, 1) << "the look-up held the loop's thread";
    EXPECT_EQ(threadCount(), threadsBefore) << "the look-up left a thread behind";
}

TEST(ResolvingOnAFiber, ANameTheNameServerDoesNotKnowIsAnUnknownHost) {
    base::UdpSocket socket = base::UdpSocket::bind(in_addr{htonl(INADDR_LOOPBACK)}, 0);
    const std::string address = "127.0.0.1:" + std::to_string(socket.port());
    base::FiberLoop loop;
    bool finished = false;
    AddressResolver::Result result;
    loop.post([&] {
        result = AddressResolver::resolve("psu.pinwright.test", 5025, base::Deadline(5000ms), address);
        finished = true;
    });
    loop.post([&] { answerNoSuchName(socket, finished); });
    loop.run();
    EXPECT_EQ(result.status, Status::UnknownHost) << result.detail;
}

} // namespace
