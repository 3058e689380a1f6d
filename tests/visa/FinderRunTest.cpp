#include "visa/FinderRun.h"

#include "tests/support/RecordingSink.h"
#include "tests/support/ScopedFinders.h"
#include "visa/ResourceManager.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Pair;
using testing::UnorderedElementsAre;
using visa::FindOptions;
using visa::FindSink;
using visa::InterfaceType;

visa::ResourceFinder reportingAfter(std::chrono::milliseconds delay, std::string resource) {
    return [delay, resource](const FindOptions&, FindSink& sink) {
        std::this_thread::sleep_for(delay);
        sink.found({resource, "test", "", "", "", ""});
    };
}

std::vector<std::string> names(const std::vector<visa::RegisteredFinder>& finders) {
    std::vector<std::string> list;
    for (const auto& finder : finders)
        list.push_back(finder.name);
    return list;
}

TEST(FindResources, RunsEveryFinderAtOnceAndReturnsWhenAllHaveEnded) {
    const ScopedFinders finders({{InterfaceType::Usb, "a", reportingAfter(300ms, "USB0::1::2::A::INSTR")},
                                 {InterfaceType::Gpib, "b", reportingAfter(300ms, "GPIB0::1::INSTR")},
                                 {InterfaceType::Sim, "c", reportingAfter(0ms, "SIM0::INSTR")}});
    RecordingSink sink;
    const auto start = std::chrono::steady_clock::now();
    visa::ResourceManager::FindResources(FindOptions{2000ms}, sink);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_THAT(sink.resources(),
                UnorderedElementsAre("USB0::1::2::A::INSTR", "GPIB0::1::INSTR", "SIM0::INSTR"));
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 550ms) << "the two slow finders ran side by side, and nobody waited for the window";
}

TEST(FindResources, AFinderThatCannotRunIsNamedOnceAndTheOthersGoOn) {
    const ScopedFinders finders({{InterfaceType::Gpib, "GPIB",
                                  [](const FindOptions&, FindSink& sink) {
                                      sink.unavailable("whatever it calls itself", "no board");
                                      sink.unavailable("GPIB", "no board, again");
                                  }},
                                 {InterfaceType::Usb, "thrower",
                                  [](const FindOptions&, FindSink&) {
                                      throw std::runtime_error("boom");
                                  }},
                                 {InterfaceType::Sim, "sim", reportingAfter(50ms, "SIM0::INSTR")}});
    RecordingSink sink;
    visa::ResourceManager::FindResources(FindOptions{1000ms}, sink);
    EXPECT_THAT(sink.resources(), ElementsAre("SIM0::INSTR"));
    EXPECT_THAT(sink.unavailable(),
                UnorderedElementsAre(Pair("GPIB", "no board"), Pair("thrower", HasSubstr("boom"))));
}

// Waits for nothing but the run's stop request, then says something that must be dropped.
visa::ResourceFinder untilStopped(std::shared_ptr<std::atomic<bool>> ended) {
    return [ended](const FindOptions& options, FindSink& sink) {
        pollfd stop{options.stopDescriptor, POLLIN, 0};
        while (::poll(&stop, 1, -1) <= 0) {
        }
        sink.found({"TCPIP0::10.0.0.1::INSTR", "late", "", "", "", ""});
        *ended = true;
    };
}

TEST(FindResources, StopsAnOverrunningFinderJoinsItAndDropsWhatItSaysLater) {
    auto ended = std::make_shared<std::atomic<bool>>(false);
    const ScopedFinders finders({{InterfaceType::Tcpip, "slow", untilStopped(ended)},
                                 {InterfaceType::Sim, "quick", reportingAfter(0ms, "SIM0::INSTR")}});
    RecordingSink sink;
    visa::ResourceManager::FindResources(FindOptions{100ms}, sink);
    EXPECT_TRUE(*ended) << "the finder was left running";
    EXPECT_THAT(sink.unavailable(), ElementsAre(Pair("slow", "did not finish within 600 ms")));
    EXPECT_THAT(sink.resources(), ElementsAre("SIM0::INSTR"));
}

TEST(FindResources, AStopRequestEndsTheFindersAtOnceAndSaysNothingMore) {
    auto ended = std::make_shared<std::atomic<bool>>(false);
    const ScopedFinders finders({{InterfaceType::Tcpip, "endless", untilStopped(ended)}});
    RecordingSink sink;
    std::stop_source stop;
    std::jthread stopper([&] {
        // Once the finder is surely running: its window is far longer than the test.
        while (sink.resources().empty() && !stop.stop_requested())
            stop.request_stop();
    });
    visa::ResourceManager::FindResources(FindOptions{60000ms}, sink, stop.get_token());
    EXPECT_TRUE(*ended);
    EXPECT_THAT(sink.unavailable(), IsEmpty());
    EXPECT_THAT(sink.resources(), IsEmpty());
}

TEST(RegisterFinder, ListsTheBuiltInFindersAndReplacesOneOfTheSameName) {
    const ScopedFinders keep(visa::ResourceManager::registeredFinders());
    EXPECT_THAT(names(visa::ResourceManager::registeredFinders()),
                testing::IsSupersetOf({"USBTMC", "GPIB", "VISA library"}));
    const auto before = visa::ResourceManager::registeredFinders().size();
    visa::ResourceManager::registerFinder(InterfaceType::Gpib, "GPIB",
                                          reportingAfter(0ms, "GPIB7::1::INSTR"));
    visa::ResourceManager::registerFinder(InterfaceType::Sim, "extra", reportingAfter(0ms, "SIM3::INSTR"));
    const auto after = visa::ResourceManager::registeredFinders();
    EXPECT_EQ(after.size(), before + 1);
    const auto gpib =
        std::find_if(after.begin(), after.end(), [](const auto& f) { return f.name == "GPIB"; });
    ASSERT_NE(gpib, after.end());
    EXPECT_EQ(gpib->type, InterfaceType::Gpib);
    EXPECT_EQ(after.back().name, "extra") << "a new name is added at the end";
    const ScopedFinders onlyThose({*gpib, after.back()});
    RecordingSink sink;
    visa::ResourceManager::FindResources(FindOptions{100ms}, sink);
    EXPECT_THAT(sink.resources(), UnorderedElementsAre("GPIB7::1::INSTR", "SIM3::INSTR"));
    EXPECT_THAT(sink.unavailable(), IsEmpty());
}

} // namespace
