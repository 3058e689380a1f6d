// Query and command round trips over loopback against one simulated mainframe, through our SOCKET,
// VXI-11 and HiSLIP clients, a plain blocking socket client, and pyvisa-py (SOCKET and VXI-11; it has
// no HiSLIP). Prints each of our LAN transports as a ratio to the plain socket client (target: at
// most 2) and to pyvisa-py on the same protocol (target: below 1).

#include "bench/lan/PythonClientTiming.h"
#include "protocol/Vxi11Messages.h"
#include "sim/HislipServer.h"
#include "sim/Mainframe.h"
#include "sim/PortmapServer.h"
#include "sim/SocketServer.h"
#include "sim/Vxi11Server.h"
#include "visa/HislipSession.h"
#include "visa/ResourceManager.h"
#include "visa/ResourceName.h"
#include "visa/Vxi11Session.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

constexpr double kPlainRatioTarget = 2.0;
constexpr int kPythonIterations = 2000;

struct Servers {
    Servers() {
        // pyvisa-py asks port 111 only; without it, pyvisa-py's VXI-11 run is left out.
        try {
            portmapper = std::make_unique<sim::PortmapServer>("127.0.0.1", protocol::kPortmapPort);
        } catch (const std::exception& e) {
            std::printf("%s: pyvisa-py over VXI-11 is left out\n", e.what());
            portmapper = std::make_unique<sim::PortmapServer>("127.0.0.1", 0);
        }
        portmapper->registerProgram(protocol::kVxi11CoreProgram, protocol::kVxi11CoreVersion,
                                    protocol::kIpProtoTcp, vxi11.port());
    }
    std::string socketResource() const {
        return "TCPIP0::127.0.0.1::" + std::to_string(socket.port()) + "::SOCKET";
    }
    std::string hislipResource() const {
        return "TCPIP0::127.0.0.1::hislip0," + std::to_string(hislip.port()) + "::INSTR";
    }
    bool standardPortmapper() const { return portmapper->port() == protocol::kPortmapPort; }

    sim::Mainframe mainframe;
    sim::SocketServer socket{mainframe, "127.0.0.1", 0};
    sim::Vxi11Server vxi11{mainframe};
    sim::HislipServer hislip{mainframe};
    std::unique_ptr<sim::PortmapServer> portmapper;
};

Servers& servers() {
    static Servers instance;
    return instance;
}

// The yardstick: a blocking socket with no time-outs, bounds or error handling.
class PlainClient {
public:
    explicit PlainClient(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        const int on = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error("plain client cannot connect");
        }
    }
    ~PlainClient() { ::close(fd_); }
    void write(const std::string& line) {
        [[maybe_unused]] auto n = ::send(fd_, line.data(), line.size(), 0);
    }
    std::string read() {
        std::string reply;
        char c = 0;
        while (::recv(fd_, &c, 1, 0) == 1) {
            reply.push_back(c);
            if (c == '\n') {
                break;
            }
        }
        return reply;
    }

private:
    int fd_;
};

std::unique_ptr<visa::MessageSession> openOurs(const std::string& transport) {
    auto& s = servers();
    if (transport == "VXI-11") {
        return visa::Vxi11Session::open(visa::ResourceName::parse("TCPIP0::127.0.0.1::INSTR"), 2000ms,
                                        {s.portmapper->port()});
    }
    return visa::ResourceManager().Open(transport == "HiSLIP" ? s.hislipResource() : s.socketResource(),
                                        2000ms);
}

void checkNoError(const std::string& reply, benchmark::State& state) {
    if (reply != "+0,\"No error\"\n") {
        state.SkipWithError(("unexpected reply " + reply).c_str());
    }
}

void Query(benchmark::State& state, const std::string& transport) {
    auto session = openOurs(transport);
    // As the program's checked query does it.
    for (auto _ : state)
        benchmark::DoNotOptimize(session->writeAndRead({"*IDN?"}));
}

void Command(benchmark::State& state, const std::string& transport) {
    auto session = openOurs(transport);
    // As the program's checked command does it: the command, its error check, one reply.
    for (auto _ : state)
        checkNoError(session->writeAndRead({"DIG:OUTP:DATA 5", "SYST:ERR?"}), state);
}

void QueryPlain(benchmark::State& state) {
    PlainClient client(servers().socket.port());
    for (auto _ : state) {
        client.write("*IDN?\n");
        benchmark::DoNotOptimize(client.read());
    }
}

void CommandPlain(benchmark::State& state) {
    PlainClient client(servers().socket.port());
    for (auto _ : state) {
        client.write("DIG:OUTP:DATA 5\n");
        client.write("SYST:ERR?\n");
        checkNoError(client.read(), state);
    }
}

BENCHMARK_CAPTURE(Query, SOCKET, std::string("SOCKET"))->UseRealTime();
BENCHMARK_CAPTURE(Query, VXI11, std::string("VXI-11"))->UseRealTime();
BENCHMARK_CAPTURE(Query, HiSLIP, std::string("HiSLIP"))->UseRealTime();
BENCHMARK(QueryPlain)->UseRealTime();
BENCHMARK_CAPTURE(Command, SOCKET, std::string("SOCKET"))->UseRealTime();
BENCHMARK_CAPTURE(Command, VXI11, std::string("VXI-11"))->UseRealTime();
BENCHMARK_CAPTURE(Command, HiSLIP, std::string("HiSLIP"))->UseRealTime();
BENCHMARK(CommandPlain)->UseRealTime();

// Keeps each benchmark's mean real time per iteration, in microseconds.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                meanMicros[run.benchmark_name()] =
                    run.GetAdjustedRealTime() * 1e6 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> meanMicros;
};

// Prints one ratio line; false when the target is missed.
bool printRatio(const char* what, double ours, double other, const char* otherName, double target,
                bool below) {
    if (ours <= 0 || other <= 0) {
        return true; // filtered out or not measured
    }
    const double ratio = ours / other;
    const bool met = below ? ratio < target : ratio <= target;
    std::printf("%-30s %8.1f us vs %-18s %8.1f us  ratio %.2f (target %s %.1f) %s\n", what, ours, otherName,
                other, ratio, below ? "<" : "<=", target, met ? "ok" : "MISSED");
    return met;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    servers();
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto mean = [&](const std::string& name) {
        const auto it = reporter.meanMicros.find(name + "/real_time");
        return it == reporter.meanMicros.end() ? 0.0 : it->second;
    };

    std::printf("\npyvisa-py, %d round trips each:\n", kPythonIterations);
    const auto pySocket = timePyvisa(servers().socketResource(), kPythonIterations);
    const auto pyVxi11 = servers().standardPortmapper()
                             ? timePyvisa("TCPIP0::127.0.0.1::INSTR", kPythonIterations)
                             : std::nullopt;
    std::printf("pyvisa-py has no HiSLIP in Debian 12: HiSLIP is compared with the plain client only\n\n");

    bool met = true;
    for (const char* kind : {"Query", "Command"}) {
        const std::string k = kind;
        const double plain = mean(k + "Plain");
        met &= printRatio((k + " VXI-11 / plain socket").c_str(), mean(k + "/VXI11"), plain, "plain socket",
                          kPlainRatioTarget, false);
        met &= printRatio((k + " HiSLIP / plain socket").c_str(), mean(k + "/HiSLIP"), plain, "plain socket",
                          kPlainRatioTarget, false);
        met &= printRatio((k + " SOCKET / plain socket").c_str(), mean(k + "/SOCKET"), plain, "plain socket",
                          kPlainRatioTarget, false);
        if (pySocket) {
            met &= printRatio((k + " SOCKET / pyvisa-py").c_str(), mean(k + "/SOCKET"),
                              k == "Query" ? pySocket->queryMicros : pySocket->commandMicros,
                              "pyvisa-py SOCKET", 1.0, true);
        }
        if (pyVxi11) {
            met &= printRatio((k + " VXI-11 / pyvisa-py").c_str(), mean(k + "/VXI11"),
                              k == "Query" ? pyVxi11->queryMicros : pyVxi11->commandMicros,
                              "pyvisa-py VXI-11", 1.0, true);
        }
    }
    benchmark::Shutdown();
    return met ? 0 : 2;
}
