// Identifying and merging what the finders report: sixteen simulated mainframes on loopback addresses of
// their own, each reachable over three raw-socket ports, reported at once by one finder. Every resource is
// asked *IDN? and the forty-eight are merged into sixteen instruments. The LAN finders listen for a 1 s
// window and a find is to be complete within 1.5 s, so identifying what they report may take at most half a
// second.

#include "sim/Mainframe.h"
#include "sim/SocketServer.h"
#include "transport/InstrumentFinder.h"
#include "visa/ResourceManager.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int kMainframes = 16;
constexpr int kPortsEach = 3;
constexpr auto kTarget = 500ms;

struct Rack {
    struct Served {
        std::unique_ptr<sim::Mainframe> mainframe;
        std::vector<std::unique_ptr<sim::SocketServer>> servers;
        std::string address;
    };
    std::vector<Served> served;

    Rack() {
        for (int i = 0; i < kMainframes; ++i) {
            char serial[16];
            std::snprintf(serial, sizeof serial, "BENCH%04d", i + 1);
            Served entry{std::make_unique<sim::Mainframe>(serial), {}, "127.0.0." + std::to_string(10 + i)};
            for (int port = 0; port < kPortsEach; ++port)
                entry.servers.push_back(
                    std::make_unique<sim::SocketServer>(*entry.mainframe, entry.address, 0));
            served.push_back(std::move(entry));
        }
    }

    std::vector<visa::FoundResource> resources() const {
        std::vector<visa::FoundResource> list;
        for (const auto& entry : served)
            for (const auto& server : entry.servers)
                list.push_back(
                    {"TCPIP0::" + entry.address + "::" + std::to_string(server->port()) + "::SOCKET", "bench",
                     entry.address, "", "", ""});
        return list;
    }
};

std::chrono::duration<double, std::milli> slowest{0};

void IdentifyAndMergeSixteenMainframes(benchmark::State& state) {
    const Rack rack;
    const auto resources = rack.resources();
    visa::ResourceManager::replaceFinders(
        {{visa::InterfaceType::Tcpip, "bench", [resources](const visa::FindOptions&, visa::FindSink& sink) {
              for (const auto& resource : resources)
                  sink.found(resource);
          }}});
    transport::InstrumentFinderOptions options;
    options.window = 0ms;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto found = transport::InstrumentFinder(options, {}).run();
        slowest = std::max<std::chrono::duration<double, std::milli>>(
            slowest, std::chrono::steady_clock::now() - start);
        if (found.size() != kMainframes || found.front().resources.size() != kPortsEach ||
            found.front().source != transport::IdentitySource::Answered)
            state.SkipWithError("the mainframes were not each found once, identified, with all their ports");
    }
}

BENCHMARK(IdentifyAndMergeSixteenMainframes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const bool met = slowest <= kTarget;
    std::printf("slowest identification of %d resources: %.1f ms (target <= %lld ms) %s\n",
                kMainframes * kPortsEach, slowest.count(), static_cast<long long>(kTarget.count()),
                met ? "ok" : "MISSED");
    return met ? 0 : 1;
}
