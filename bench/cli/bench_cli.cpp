// pinwright-cli as a script sees it: whole process runs against the simulated mainframe's socket server.
//  - show (a start-up, *IDN? and seventeen queries) against one `lxi scpi -r` run of a single query;
//  - apply of a full profile to four mainframes in one call (one process each, in parallel) against apply
//    to one.
// Prints the medians and the ratios beside their targets. Not a test: run it on a quiet machine.

#include "bench/cli/ProcessTiming.h"
#include "sim/Mainframe.h"
#include "sim/SocketServer.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double kShowTarget = 2.0;
constexpr double kParallelApplyTarget = 1.5;
constexpr int kRuns = 21;

struct ServedMainframe {
    sim::Mainframe mainframe;
    sim::SocketServer server{mainframe, "127.0.0.1", 0};
    std::string resource() const {
        return "TCPIP0::127.0.0.1::" + std::to_string(server.port()) + "::SOCKET";
    }
};

void printRatio(const char* what, double ratio, double target) {
    std::printf("%-44s %5.2fx  (target <= %.1fx: %s)\n", what, ratio, target,
                ratio <= target ? "met" : "MISSED");
}

// A profile that sets every pin, the output word and the inhibit mode, moving both coupling functions.
std::string writeFullProfile() {
    const std::string path = "/tmp/pinwright-bench-profile.json";
    std::ofstream(path) << R"({"format": "pinwright-profile", "version": 1, "pins": [
        {"pin": 1, "function": "Fault", "polarity": "negative"},
        {"pin": 2, "function": "Digital IO", "polarity": "positive"},
        {"pin": 3, "function": "Inhibit", "polarity": "negative"},
        {"pin": 4, "function": "Off Couple", "polarity": "positive"},
        {"pin": 5, "function": "On Couple", "polarity": "negative"},
        {"pin": 6, "function": "Trigger Out", "polarity": "positive"},
        {"pin": 7, "function": "Trigger In", "polarity": "negative"}],
        "outputWord": 85, "inhibitMode": "latching"})";
    return path;
}

} // namespace

int main() {
    std::array<std::unique_ptr<ServedMainframe>, 4> rack;
    for (auto& mainframe : rack)
        mainframe = std::make_unique<ServedMainframe>();
    const std::string cli = PINWRIGHT_CLI_PATH;
    const std::string first = rack[0]->resource();
    const std::string port = std::to_string(rack[0]->server.port());

    try {
        const double show = ProcessTiming::medianMilliseconds({cli, "-r", first, "show"}, kRuns);
        std::printf("pinwright-cli show                      %8.2f ms (median of %d)\n", show, kRuns);
        try {
            const double lxi = ProcessTiming::medianMilliseconds(
                {"lxi", "scpi", "-r", "-p", port, "-a", "127.0.0.1", "*IDN?"}, kRuns);
            std::printf("lxi scpi -r, one query                  %8.2f ms\n", lxi);
            printRatio("show / one lxi query", show / lxi, kShowTarget);
        } catch (const std::exception& error) {
            std::printf("lxi not usable (%s); install lxi-tools for the comparison\n", error.what());
        }

        const std::string profile = writeFullProfile();
        const double one = ProcessTiming::medianMilliseconds({cli, "-r", first, "apply", profile}, kRuns);
        std::vector<std::string> four{cli};
        for (const auto& mainframe : rack) {
            four.push_back("-r");
            four.push_back(mainframe->resource());
        }
        four.push_back("apply");
        four.push_back(profile);
        const double parallel = ProcessTiming::medianMilliseconds(four, kRuns);
        std::printf("pinwright-cli apply, one mainframe      %8.2f ms\n", one);
        std::printf("pinwright-cli apply, four in parallel   %8.2f ms\n", parallel);
        printRatio("apply to four / apply to one", parallel / one, kParallelApplyTarget);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_cli: %s\n", error.what());
        return 1;
    }
    return 0;
}
