#include "bench/lan/PythonClientTiming.h"

#include "tests/support/CommandOutput.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace {

constexpr const char* kScript = R"(
import sys, time, pyvisa
rm = pyvisa.ResourceManager('@py')
i = rm.open_resource(sys.argv[1], open_timeout=5000)
i.timeout = 5000
i.read_termination = '\n'
i.write_termination = '\n'
n = int(sys.argv[2])
i.query('*IDN?')
t = time.perf_counter()
for _ in range(n):
    i.query('*IDN?')
q = (time.perf_counter() - t) / n
t = time.perf_counter()
for _ in range(n):
    i.write('DIG:OUTP:DATA 5')
    i.query('SYST:ERR?')
c = (time.perf_counter() - t) / n
i.close()
print(q * 1e6, c * 1e6)
)";

} // namespace

std::optional<PythonRoundTrips> timePyvisa(const std::string& resource, int iterations) {
    // The script goes in through a here-document; the loop inside is bounded by `iterations`, and the
    // whole run by `timeout`.
    const std::string command = "timeout 120 /usr/bin/python3 - '" + resource + "' " +
                                std::to_string(iterations) + " 2>&1 <<'PINWRIGHT_EOF'\n" + kScript +
                                "\nPINWRIGHT_EOF\n";
    std::string output;
    try {
        output = commandOutput(command);
    } catch (const std::runtime_error&) {
        std::printf("pyvisa-py on %s: cannot start python3\n", resource.c_str());
        return std::nullopt;
    }
    PythonRoundTrips result;
    std::istringstream in(output);
    if (!(in >> result.queryMicros >> result.commandMicros)) {
        std::printf("pyvisa-py on %s: no timing (%s)\n", resource.c_str(), output.substr(0, 300).c_str());
        return std::nullopt;
    }
    return result;
}
