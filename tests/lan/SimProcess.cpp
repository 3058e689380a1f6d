#include "tests/lan/SimProcess.h"

using namespace std::chrono_literals;

std::string SimProcess::outputUntil(const std::string& marker) {
    const auto end = std::chrono::steady_clock::now() + 5s;
    const auto& text = process_.text();
    while (text.find(marker) == std::string::npos && std::chrono::steady_clock::now() < end &&
           process_.readSome(100ms)) {
    }
    return text.find(marker) == std::string::npos ? std::string{} : text;
}
