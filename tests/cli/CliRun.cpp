#include "tests/cli/CliRun.h"

#include "cli/CliMain.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

CliResult runCliHere(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    CliResult result;
    result.status = cli::runCli(arguments, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

namespace {

std::string quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

CliResult runCliProcess(const std::vector<std::string>& arguments) {
    char errFile[] = "/tmp/pinwright-cli-test-err-XXXXXX";
    const int fd = ::mkstemp(errFile);
    if (fd < 0)
        throw std::runtime_error("cannot make a temporary file");
    ::close(fd);
    std::string command = std::string("timeout 60 ") + PINWRIGHT_CLI_PATH;
    for (const auto& argument : arguments)
        command += " " + quoted(argument);
    command += " 2>" + std::string(errFile);
    CliResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        throw std::runtime_error("cannot start " + command);
    std::array<char, 4096> buffer;
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        result.out.append(buffer.data(), n);
    const int wait = ::pclose(pipe);
    result.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    std::ifstream errStream(errFile);
    std::stringstream errText;
    errText << errStream.rdbuf();
    result.err = errText.str();
    ::unlink(errFile);
    return result;
}
