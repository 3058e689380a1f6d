// Round trips over loopback against the simulated mainframe's socket server: the SOCKET backend against a
// plain blocking client doing the same exchange. Prints the backend's cost as a ratio to the plain client and
// the 99th percentile of the backend's command round trip (command, "SYST:ERR?", read).

#include "bench/socket/PlainSocketClient.h"
#include "sim/Mainframe.h"
#include "sim/SocketServer.h"
#include "visa/ResourceManager.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr double kRatioTarget = 1.3;
constexpr auto kP99Target = 2ms;

struct Loopback {
    sim::Mainframe mainframe;
    sim::SocketServer server{mainframe, "127.0.0.1", 0};
    std::string resource() const {
        return "TCPIP0::127.0.0.1::" + std::to_string(server.port()) + "::SOCKET";
    }
};

Loopback& loopback() {
    static Loopback instance;
    return instance;
}

// Microseconds per command round trip, kept for the percentiles; the plain client's show what the machine
// itself allows when another load shares it.
std::vector<double> backendCommandSamples;
std::vector<double> plainCommandSamples;

double microsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

void expectNoError(const std::string& reply, benchmark::State& state) {
    if (reply != "+0,\"No error\"\n")
        state.SkipWithError(("unexpected error reply " + reply).c_str());
}

void QueryThroughSocketSession(benchmark::State& state) {
    auto session = visa::ResourceManager().Open(loopback().resource(), 2000ms);
    for (auto _ : state) {
        session->write("*IDN?");
        benchmark::DoNotOptimize(session->read());
    }
}

void QueryThroughPlainClient(benchmark::State& state) {
    PlainSocketClient client("127.0.0.1", loopback().server.port());
    for (auto _ : state) {
        client.write("*IDN?\n");
        benchmark::DoNotOptimize(client.read());
    }
}

void CommandThroughSocketSession(benchmark::State& state) {
    auto session = visa::ResourceManager().Open(loopback().resource(), 2000ms);
    for (auto _ : state) {
        const auto start = Clock::now();
        session->write("DIG:OUTP:DATA 5");
        session->write("SYST:ERR?");
        const auto reply = session->read();
        backendCommandSamples.push_back(microsSince(start));
        expectNoError(reply, state);
    }
}

void CommandThroughPlainClient(benchmark::State& state) {
    PlainSocketClient client("127.0.0.1", loopback().server.port());
    for (auto _ : state) {
        const auto start = Clock::now();
        client.write("DIG:OUTP:DATA 5\n");
        client.write("SYST:ERR?\n");
        const auto reply = client.read();
        plainCommandSamples.push_back(microsSince(start));
        expectNoError(reply, state);
    }
}

BENCHMARK(QueryThroughSocketSession)->UseRealTime();
BENCHMARK(QueryThroughPlainClient)->UseRealTime();
BENCHMARK(CommandThroughSocketSession)->UseRealTime();
BENCHMARK(CommandThroughPlainClient)->UseRealTime();

// Keeps each benchmark's mean real time per iteration while the console reporter prints as usual.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                meanMicros[run.benchmark_name()] =
                    run.GetAdjustedRealTime() * 1e6 / benchmark::GetTimeUnitMultiplier(run.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> meanMicros;
};

double percentile(std::vector<double> samples, double fraction) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1));
    return samples[index];
}

bool printRatio(const RecordingReporter& reporter, const std::string& what, const std::string& backend,
                const std::string& plain) {
    const auto b = reporter.meanMicros.find(backend);
    const auto p = reporter.meanMicros.find(plain);
    if (b == reporter.meanMicros.end() || p == reporter.meanMicros.end() || p->second <= 0)
        return true; // filtered out on the command line
    const double ratio = b->second / p->second;
    std::printf("%-28s SOCKET backend %8.1f us, plain client %8.1f us, ratio %.2f (target <= %.1f) %s\n",
                what.c_str(), b->second, p->second, ratio, kRatioTarget,
                ratio <= kRatioTarget ? "ok" : "MISSED");
    return ratio <= kRatioTarget;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n");
    bool met = printRatio(reporter, "query round trip", "QueryThroughSocketSession/real_time",
                          "QueryThroughPlainClient/real_time");
    met &= printRatio(reporter, "command round trip", "CommandThroughSocketSession/real_time",
                      "CommandThroughPlainClient/real_time");
    if (!backendCommandSamples.empty()) {
        const double p99 = percentile(backendCommandSamples, 0.99);
        const double target = std::chrono::duration<double, std::micro>(kP99Target).count();
        std::printf("%-28s p99 %8.1f us over %zu round trips (target < %.0f us) %s\n", "command round trip",
                    p99, backendCommandSamples.size(), target, p99 < target ? "ok" : "MISSED");
        if (!plainCommandSamples.empty())
            std::printf("%-28s p99 %8.1f us for the plain client on this machine now\n", "",
                        percentile(plainCommandSamples, 0.99));
        met &= p99 < target;
    }
    benchmark::Shutdown();
    return met ? 0 : 2;
}
