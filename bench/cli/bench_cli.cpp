// pinwright-cli as a script sees it: whole process runs against simulated mainframes' socket servers in
// this process.
//  - show (a start-up, *IDN? and seventeen queries) against one `lxi scpi -r` run of a single query;
//  - apply of a full profile and show on 1, 4, 16 and 64 mainframes in one call, against the same on one,
//    with pinwright-cli's peak resident size. apply alternates between two profiles, so that every run
//    changes every setting; "apply unchanged" applies the profile the mainframes already hold, which
//    only reads;
//  - apply on 1, 4, 16 and 64 mainframes again with every reply held back 2 ms, as a real mainframe takes
//    a few milliseconds to answer: there the waits, not the work, should make up the time.
// The runs of all sizes take turns, so that the ratios hold up while the machine's load changes. Prints the
// medians and the ratios beside their targets. Not a test: run it on a quiet machine.

#include "base/FiberThread.h"
#include "bench/cli/ProcessTiming.h"
#include "sim/Mainframe.h"
#include "sim/SocketServer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace {

constexpr double kShowTarget = 2.0;
constexpr double kPeakResidentTargetMegabytes = 64;
constexpr int kRuns = 21;

// The racks apply and show run on, each with the target of its apply ratio to one mainframe (0: none).
struct RackSize {
    int mainframes;
    double applyTarget;
};
constexpr RackSize kRackSizes[] = {{1, 0}, {4, 1.5}, {16, 0}, {64, 4.0}};
// The same racks with each reply held back as long as a real mainframe takes, and their targets.
constexpr std::chrono::milliseconds kReplyDelay{2};
constexpr RackSize kDelayedRackSizes[] = {{1, 0}, {4, 0}, {16, 0}, {64, 1.2}};

struct ServedMainframe {
    ServedMainframe(int index, base::FiberLoop& fibers)
        : mainframe("SIM" + std::to_string(1000 + index)),
          server(mainframe, "127.0.0.1", 0, {}, sim::SocketServer::kDefaultLimits, &fibers) {}
    sim::Mainframe mainframe;
    sim::SocketServer server;
    std::string resource() const {
        return "TCPIP0::127.0.0.1::" + std::to_string(server.port()) + "::SOCKET";
    }
};

// A target of 0: none, the ratio is only shown.
void printRatio(const std::string& what, double ratio, double target) {
    std::printf("%-44s %5.2fx", what.c_str(), ratio);
    if (target > 0)
        std::printf("  (target <= %.1fx: %s)", target, ratio <= target ? "met" : "MISSED");
    std::printf("\n");
}

// Two profiles that differ in every setting and both move the coupling functions.
std::vector<std::string> writeProfiles() {
    const char* pins[2][7] = {
        {"Fault", "Digital IO", "Inhibit", "Off Couple", "On Couple", "Trigger Out", "Trigger In"},
        {"Trigger Out", "Trigger In", "Digital IO", "On Couple", "Off Couple", "Digital Input",
         "Digital IO"}};
    std::vector<std::string> paths;
    for (int k = 0; k < 2; ++k) {
        const std::string path = "/tmp/pinwright-bench-profile-" + std::to_string(k) + ".json";
        std::ofstream file(path);
        file << R"({"format": "pinwright-profile", "version": 1, "pins": [)";
        for (int pin = 1; pin <= 7; ++pin)
            file << (pin > 1 ? ", " : "") << R"({"pin": )" << pin << R"(, "function": ")" << pins[k][pin - 1]
                 << R"(", "polarity": ")" << ((pin + k) % 2 != 0 ? "negative" : "positive") << R"("})";
        file << R"(], "outputWord": )" << (k == 0 ? 85 : 42) << R"(, "inhibitMode": ")"
             << (k == 0 ? "latching" : "live") << R"("})";
        paths.push_back(path);
    }
    return paths;
}

// apply to each size of rack, the profiles taking turns, every mainframe of a rack at once (--jobs 64):
// what is measured is how well the waits overlap, not the default cap of 32 at a time.
std::vector<ProcessTiming::Case> applyCases(const std::vector<std::unique_ptr<ServedMainframe>>& rack,
                                            std::span<const RackSize> sizes,
                                            const std::vector<std::string>& profiles);

std::vector<std::string> onRack(const std::vector<std::unique_ptr<ServedMainframe>>& rack, int count,
                                std::vector<std::string> command) {
    std::vector<std::string> arguments{PINWRIGHT_CLI_PATH};
    for (int i = 0; i < count; ++i)
        arguments.insert(arguments.end(), {"-r", rack[static_cast<std::size_t>(i)]->resource()});
    arguments.insert(arguments.end(), command.begin(), command.end());
    return arguments;
}

std::vector<ProcessTiming::Case> applyCases(const std::vector<std::unique_ptr<ServedMainframe>>& rack,
                                            std::span<const RackSize> sizes,
                                            const std::vector<std::string>& profiles) {
    std::vector<ProcessTiming::Case> cases;
    for (const RackSize& size : sizes)
        cases.push_back({onRack(rack, size.mainframes, {"--jobs", "64", "apply", profiles[0]}),
                         onRack(rack, size.mainframes, {"--jobs", "64", "apply", profiles[1]})});
    return cases;
}

// The replies of every mainframe wait `delay` (through the servers' loop) from here on; 0: no more.
void delayReplies(const std::vector<std::unique_ptr<ServedMainframe>>& rack,
                  std::chrono::milliseconds delay) {
    for (const auto& served : rack) {
        if (delay.count() > 0)
            served->mainframe.faults().inject(sim::Fault::DelayReply, sim::FaultInjector::kForever, delay);
        else
            served->mainframe.faults().clear();
    }
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 2 && std::string(argv[1]) == "--peak-resident-of")
        return ProcessTiming::reportPeakResident(std::vector<std::string>(argv + 2, argv + argc));
    const std::string self = "/proc/self/exe";
    // The rack's connections are fibers of one thread, as in pinwright-sim; it outlives the servers.
    base::FiberThread fibers;
    std::vector<std::unique_ptr<ServedMainframe>> rack;
    for (int i = 0; i < kRackSizes[std::size(kRackSizes) - 1].mainframes; ++i)
        rack.push_back(std::make_unique<ServedMainframe>(i, fibers.loop()));
    const std::string port = std::to_string(rack[0]->server.port());

    try {
        const double show = ProcessTiming::medianMilliseconds(onRack(rack, 1, {"show"}), kRuns);
        std::printf("pinwright-cli show                          %8.2f ms (median of %d)\n", show, kRuns);
        try {
            const double lxi = ProcessTiming::medianMilliseconds(
                {"lxi", "scpi", "-r", "-p", port, "-a", "127.0.0.1", "*IDN?"}, kRuns);
            std::printf("lxi scpi -r, one query                      %8.2f ms\n", lxi);
            printRatio("show / one lxi query", show / lxi, kShowTarget);
        } catch (const std::exception& error) {
            std::printf("lxi not usable (%s); install lxi-tools for the comparison\n", error.what());
        }

        const auto profiles = writeProfiles();
        std::vector<ProcessTiming::Case> cases;
        for (const RackSize& size : kRackSizes) {
            const int count = size.mainframes;
            cases.push_back(
                {onRack(rack, count, {"apply", profiles[0]}), onRack(rack, count, {"apply", profiles[1]})});
            // In step with the apply before it: the profile the mainframes now hold.
            cases.push_back(
                {onRack(rack, count, {"apply", profiles[0]}), onRack(rack, count, {"apply", profiles[1]})});
            cases.push_back({onRack(rack, count, {"show"})});
        }
        const auto medians = ProcessTiming::interleaved(cases, kRuns);
        std::vector<ProcessTiming::Run> applies, unchanged, shows;
        for (std::size_t i = 0; i < std::size(kRackSizes); ++i) {
            applies.push_back(medians[3 * i]);
            unchanged.push_back(medians[3 * i + 1]);
            shows.push_back(medians[3 * i + 2]);
            std::printf("%2d mainframes: apply %7.2f ms, unchanged %7.2f ms, show %7.2f ms\n",
                        kRackSizes[i].mainframes, applies.back().milliseconds, unchanged.back().milliseconds,
                        shows.back().milliseconds);
        }
        for (std::size_t i = 1; i < applies.size(); ++i) {
            const std::string of = " to " + std::to_string(kRackSizes[i].mainframes) + " / to 1";
            const double target = kRackSizes[i].applyTarget;
            printRatio("apply" + of, applies[i].milliseconds / applies[0].milliseconds, target);
            printRatio("apply unchanged" + of, unchanged[i].milliseconds / unchanged[0].milliseconds, target);
            printRatio("show" + of, shows[i].milliseconds / shows[0].milliseconds, 0);
        }
        std::printf("CPU of one apply to 64: pinwright-cli %.1f ms, the 64 simulated mainframes %.1f ms\n",
                    applies.back().cpuMilliseconds, applies.back().serverCpuMilliseconds);
        delayReplies(rack, kReplyDelay);
        const auto delayed = ProcessTiming::interleaved(applyCases(rack, kDelayedRackSizes, profiles), kRuns);
        for (std::size_t i = 0; i < std::size(kDelayedRackSizes); ++i)
            std::printf("%2d mainframes, replies after %lld ms: apply %7.2f ms\n",
                        kDelayedRackSizes[i].mainframes, static_cast<long long>(kReplyDelay.count()),
                        delayed[i].milliseconds);
        for (std::size_t i = 1; i < delayed.size(); ++i)
            printRatio("apply to " + std::to_string(kDelayedRackSizes[i].mainframes) +
                           " / to 1, replies after " + std::to_string(kReplyDelay.count()) + " ms",
                       delayed[i].milliseconds / delayed[0].milliseconds, kDelayedRackSizes[i].applyTarget);
        delayReplies(rack, std::chrono::milliseconds(0));

        for (const int count : {1, 64}) {
            double peak = 0;
            for (int k = 0; k < 3; ++k)
                peak = std::max(peak, ProcessTiming::peakResidentMegabytes(
                                          self, onRack(rack, count, {"apply", profiles[k % 2]})));
            const std::string what = "peak resident size, apply to " + std::to_string(count);
            if (count == 1)
                std::printf("%-44s %5.1f MB\n", what.c_str(), peak);
            else
                std::printf("%-44s %5.1f MB (target < %.0f MB: %s)\n", what.c_str(), peak,
                            kPeakResidentTargetMegabytes,
                            peak < kPeakResidentTargetMegabytes ? "met" : "MISSED");
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_cli: %s\n", error.what());
        return 1;
    }
    return 0;
}
