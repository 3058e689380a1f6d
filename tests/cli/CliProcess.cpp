#include "tests/cli/CliProcess.h"

std::optional<std::string> CliProcess::readLine(std::chrono::milliseconds bound) {
    const auto end = std::chrono::steady_clock::now() + bound;
    auto& buffered = process_.text();
    for (;;) {
        if (const auto newline = buffered.find('\n'); newline != std::string::npos) {
            std::string line = buffered.substr(0, newline);
            buffered.erase(0, newline + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !process_.readSome(left))
            return std::nullopt;
    }
}
