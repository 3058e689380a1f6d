#include "tests/support/CommandOutput.h"

#include <array>
#include <cstdio>
#include <memory>
#include <stdexcept>

std::string commandOutput(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) {
        throw std::runtime_error("cannot start: " + command.substr(0, command.find('\n')));
    }
    std::string output;
    std::array<char, 4096> buffer;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) {
        output.append(buffer.data(), n);
    }
    return output;
}
