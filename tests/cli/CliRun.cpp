#include "tests/cli/CliRun.h"

#include "cli/CliMain.h"
#include "transport/TransportTimeouts.h"

#include <array>
#include <cstdio>
#include <cstdlib>
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
    transport::SetTimeoutsForTesting({});
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

namespace {

CliResult runCliCommand(const std::string& prefix, const std::vector<std::string>& arguments) {
    char errFile[] = "/tmp/pinwright-cli-test-err-XXXXXX";
    const int fd = ::mkstemp(errFile);
    if (fd < 0)
        throw std::runtime_error("cannot make a temporary file");
    ::close(fd);
    std::string command = prefix + "timeout 60 " + PINWRIGHT_CLI_PATH;
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

} // namespace

CliResult runCliProcess(const std::vector<std::string>& arguments) {
    return runCliCommand("", arguments);
}

bool canRunInOwnNetwork() {
    return ::getuid() == 0 && std::system("unshare --net true 2>/dev/null") == 0;
}

CliResult runCliProcessInOwnNetwork(const std::vector<std::string>& arguments) {
    if (!canRunInOwnNetwork())
        throw std::runtime_error("no network namespace can be made here");
    return runCliCommand("unshare --net -- /bin/sh -c 'ip link set lo up && exec \"$@\"' own-network ",
                         arguments);
}
