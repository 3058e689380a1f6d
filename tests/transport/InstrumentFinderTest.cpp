#include "transport/InstrumentFinder.h"

#include "tests/support/AnsweringPeer.h"
#include "tests/support/CaseTable.h"
#include "tests/support/Eventually.h"
#include "tests/support/ScopedFinders.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::Pair;
using transport::FoundInstrument;
using transport::IdentitySource;

AnsweringPeer::Script identifyingAs(std::string identity) {
    return [identity](const std::string& line) -> std::optional<std::string> {
        return line == "*IDN?" ? std::optional(identity + "\n") : std::nullopt;
    };
}

visa::FoundResource lan(const AnsweringPeer& peer) {
    return {peer.resource(), "test", "127.0.0.1", "", "", ""};
}

// Reports the resources one after another, a little apart, as answers to a broadcast would come.
visa::ResourceFinder reporting(std::vector<visa::FoundResource> resources) {
    return [resources](const visa::FindOptions&, visa::FindSink& sink) {
        for (const auto& resource : resources) {
            sink.found(resource);
            std::this_thread::sleep_for(20ms);
        }
    };
}

// What a run reported, by index, as the events left it.
struct Reported {
    std::mutex mutex;
    std::map<std::size_t, FoundInstrument> instruments;
    std::map<std::size_t, int> reports;
    std::vector<std::string> unavailable;

    transport::InstrumentFinderEvents events() {
        return {[this](std::size_t index, const FoundInstrument& instrument) {
                    const std::lock_guard lock(mutex);
                    instruments[index] = instrument;
                    ++reports[index];
                },
                [this](const std::string& finder, const std::string& reason) {
                    const std::lock_guard lock(mutex);
                    unavailable.push_back(finder + ": " + reason);
                }};
    }
};

std::vector<std::string> resourcesOf(const FoundInstrument& instrument) {
    std::vector<std::string> list;
    for (const auto& resource : instrument.resources)
        list.push_back(resource.resource);
    return list;
}

class InstrumentFinding : public testing::Test {
protected:
    AnsweringPeer first{identifyingAs("Acme,Box,SN7,1.0")};
    AnsweringPeer second{identifyingAs("ACME,BOX,SN7,1.0")};
    AnsweringPeer silent{[](const std::string&) -> std::optional<std::string> {
        return std::nullopt;
    }};
    ScopedFinders finders{
        {{visa::InterfaceType::Tcpip, "lan", reporting({lan(first), lan(silent), lan(second)})},
         {visa::InterfaceType::Sim, "sim", reporting({{"SIM5::INSTR", "sim", "", "", "", ""}})},
         {visa::InterfaceType::Gpib, "GPIB", [](const visa::FindOptions&, visa::FindSink& sink) {
              sink.unavailable("GPIB", "no library");
          }}}};
    transport::InstrumentFinderOptions options{200ms, true, 300ms, 16};
};

TEST_F(InstrumentFinding, IdentifiesMergesAndReportsEachInstrumentWholeAsItGoes) {
    Reported reported;
    const auto start = std::chrono::steady_clock::now();
    const auto found = transport::InstrumentFinder(options, reported.events()).run();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms + 2 * 300ms)
        << "the silent peer's time-out ran beside the others, not after them";

    ASSERT_EQ(found.size(), 3u);
    const auto acme =
        std::find_if(found.begin(), found.end(), [](const auto& i) { return i.manufacturer == "Acme"; });
    ASSERT_NE(acme, found.end());
    EXPECT_EQ(acme->source, IdentitySource::Answered);
    EXPECT_EQ(acme->serial, "SN7");
    EXPECT_EQ(resourcesOf(*acme).size(), 2u);
    const auto sim =
        std::find_if(found.begin(), found.end(), [](const auto& i) { return i.model == "MF-7"; });
    ASSERT_NE(sim, found.end());
    EXPECT_THAT(resourcesOf(*sim), ElementsAre("SIM5::INSTR"));
    const auto mute = std::find_if(found.begin(), found.end(),
                                   [](const auto& i) { return i.source == IdentitySource::NotIdentified; });
    ASSERT_NE(mute, found.end());
    EXPECT_THAT(resourcesOf(*mute), ElementsAre(silent.resource()));
    EXPECT_EQ(mute->host, "127.0.0.1");

    ASSERT_EQ(reported.instruments.size(), found.size());
    std::vector<std::vector<std::string>> reportedLists, foundLists;
    for (std::size_t index = 0; index < found.size(); ++index) {
        reportedLists.push_back(resourcesOf(reported.instruments[index]));
        foundLists.push_back(resourcesOf(found[index]));
        EXPECT_EQ(reported.reports[index], 1) << "reported once, whole: " << index;
    }
    std::sort(reportedLists.begin(), reportedLists.end());
    std::sort(foundLists.begin(), foundLists.end());
    EXPECT_EQ(reportedLists, foundLists);
    EXPECT_THAT(reported.unavailable, ElementsAre("GPIB: no library"));
}

TEST_F(InstrumentFinding, LeavesOutTheBuiltInMainframeUnlessAskedAndLabelsIt) {
    options.includeBuiltIn = false;
    const auto without = transport::InstrumentFinder(options, {}).run();
    EXPECT_EQ(without.size(), 2u);
    for (const auto& instrument : without)
        EXPECT_FALSE(transport::isBuiltIn(instrument));
    options.includeBuiltIn = true;
    const auto with = transport::InstrumentFinder(options, {}).run();
    const auto sim =
        std::find_if(with.begin(), with.end(), [](const auto& i) { return transport::isBuiltIn(i); });
    ASSERT_NE(sim, with.end());
    EXPECT_THAT(transport::describeIdentity(*sim), testing::EndsWith("firmware 1.0 (built in)"));
}

TEST_F(InstrumentFinding, WithoutIdentifyingAsksNothingAndMergesByHost) {
    options.identify = false;
    Reported reported;
    const auto found = transport::InstrumentFinder(options, reported.events()).run();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(reported.reports, (std::map<std::size_t, int>{{0, 1}, {1, 1}}));
    const auto& lanEntry = found[0].host.empty() ? found[1] : found[0];
    const auto& simEntry = found[0].host.empty() ? found[0] : found[1];
    EXPECT_EQ(lanEntry.source, IdentitySource::NotAsked);
    EXPECT_EQ(lanEntry.resources.size(), 3u);
    EXPECT_THAT(resourcesOf(simEntry), ElementsAre("SIM5::INSTR"));
    EXPECT_THAT(first.received(), IsEmpty());
    EXPECT_THAT(second.received(), IsEmpty());
}

TEST_F(InstrumentFinding, AStopRequestSkipsTheIdentificationsNotBegun) {
    std::stop_source stop;
    stop.request_stop();
    const auto found = transport::InstrumentFinder(options, {}).run(stop.get_token());
    EXPECT_THAT(found, IsEmpty());
    EXPECT_THAT(first.received(), IsEmpty());
}

TEST(InstrumentFindingLimits, AsksNoMoreResourcesAtOnceThanAllowed) {
    std::vector<std::unique_ptr<AnsweringPeer>> peers;
    std::vector<visa::FoundResource> resources;
    for (int i = 0; i < 4; ++i) {
        peers.push_back(std::make_unique<AnsweringPeer>(
            [](const std::string&) -> std::optional<std::string> { return std::nullopt; }));
        resources.push_back({peers.back()->resource(), "test", "", "", "", ""});
    }
    const ScopedFinders finders{
        {{visa::InterfaceType::Tcpip, "lan", [resources](const auto&, visa::FindSink& sink) {
              for (const auto& resource : resources)
                  sink.found(resource);
          }}}};
    const auto start = std::chrono::steady_clock::now();
    const auto found = transport::InstrumentFinder({50ms, true, 200ms, 2}, {}).run();
    EXPECT_GE(std::chrono::steady_clock::now() - start, 400ms) << "two at a time: two rounds of time-outs";
    EXPECT_EQ(found.size(), 4u);
}

// A finder that waits for nothing but the run's stop request.
void untilStopped(const visa::FindOptions& options, visa::FindSink&) {
    pollfd stop{options.stopDescriptor, POLLIN, 0};
    while (::poll(&stop, 1, -1) <= 0) {
    }
}

// The process's threads. A joined thread leaves this list a moment after the join returns (the kernel
// releases it after it has woken the joiner), so a count is compared once it has settled; a thread left
// running never leaves it.
std::size_t threadCount() {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                                  std::filesystem::directory_iterator()));
}

TEST(InstrumentFindingEnd, EndsWithinItsTimeOutAndLeavesNoThreadBehind) {
    AnsweringPeer silent{[](const std::string&) -> std::optional<std::string> {
        return std::nullopt;
    }};
    const ScopedFinders finders{{{visa::InterfaceType::Tcpip, "endless", untilStopped},
                                 {visa::InterfaceType::Tcpip, "lan", reporting({lan(silent)})}}};
    const auto before = threadCount();
    Reported reported;
    const auto found = transport::InstrumentFinder({50ms, true, 100ms, 4}, reported.events()).run();
    EXPECT_TRUE(test_support::eventually([&] { return threadCount() == before; })) << threadCount();
    EXPECT_EQ(found.size(), 1u);
    EXPECT_THAT(reported.unavailable, ElementsAre("endless: did not finish within 550 ms"));
}

TEST(InstrumentFindingEnd, AStopRequestEndsAFinderThatWouldNeverEnd) {
    const ScopedFinders finders{{{visa::InterfaceType::Tcpip, "endless", untilStopped}}};
    const auto before = threadCount();
    std::stop_source stop;
    std::jthread stopper([&] { stop.request_stop(); });
    const auto found = transport::InstrumentFinder({60000ms, true, 100ms, 4}, {}).run(stop.get_token());
    stopper.join();
    EXPECT_THAT(found, IsEmpty());
    EXPECT_TRUE(test_support::eventually([&] { return threadCount() == before; })) << threadCount();
}

// Two mainframes behind one address (a pinwright-sim with --count 2), each announced with its serial.
struct Arrival {
    const char* label;
    bool identify;
    bool reversed;
};

class InstrumentListingOrder : public test_cases::Table<Arrival, &Arrival::label> {};

TEST_P(InstrumentListingOrder, IsByMakerModelSerialAndAddressWhateverCameFirstAndKeepsMainframesApart) {
    std::vector<visa::FoundResource> resources{
        {"TCPIP0::127.0.0.1::hislip1::INSTR", "mDNS", "127.0.0.1", "Korvane", "MF-7", "SIM0002"},
        {"TCPIP0::127.0.0.1::hislip0::INSTR", "mDNS", "127.0.0.1", "Korvane", "MF-7", "SIM0001"},
        {"TCPIP0::127.0.0.1::5026::SOCKET", "mDNS", "127.0.0.1", "Korvane", "MF-7", "SIM0002"},
        {"TCPIP0::127.0.0.1::5025::SOCKET", "mDNS", "127.0.0.1", "Korvane", "MF-7", "SIM0001"},
        {"TCPIP0::127.0.0.2::hislip0::INSTR", "mDNS", "127.0.0.2", "Acme", "Box", "7"}};
    if (GetParam().reversed)
        std::reverse(resources.begin(), resources.end());
    const ScopedFinders finders{{{visa::InterfaceType::Tcpip, "lan", reporting(resources)}}};
    transport::InstrumentFinderOptions options{50ms, GetParam().identify, 50ms, 4};
    const auto found = transport::InstrumentFinder(options, {}).run();
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].serial, "7");
    EXPECT_EQ(found[1].serial, "SIM0001");
    EXPECT_EQ(found[2].serial, "SIM0002");
    EXPECT_THAT(resourcesOf(found[1]),
                ElementsAre("TCPIP0::127.0.0.1::hislip0::INSTR", "TCPIP0::127.0.0.1::5025::SOCKET"));
    EXPECT_THAT(resourcesOf(found[2]),
                ElementsAre("TCPIP0::127.0.0.1::hislip1::INSTR", "TCPIP0::127.0.0.1::5026::SOCKET"));
}

INSTANTIATE_TEST_SUITE_P(Arrivals, InstrumentListingOrder,
                         testing::Values(Arrival{"NotIdentified", false, false},
                                         Arrival{"NotIdentifiedReversed", false, true},
                                         Arrival{"IdentifyingUnanswered", true, false},
                                         Arrival{"IdentifyingUnansweredReversed", true, true}));

} // namespace
