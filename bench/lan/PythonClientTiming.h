#pragma once

#include <optional>
#include <string>

// Round-trip times of pyvisa with pyvisa-py, measured by a Python loop in a subprocess so that the
// interpreter's start-up is not counted.
struct PythonRoundTrips {
    double queryMicros = 0;   // "*IDN?" and its read
    double commandMicros = 0; // a command, "SYST:ERR?" and its read
};

// nullopt (with the reason printed) when Python, pyvisa or the resource is not available.
std::optional<PythonRoundTrips> timePyvisa(const std::string& resource, int iterations);
