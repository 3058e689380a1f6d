#include "transport/globals.h"

#include <cstdio>

namespace globals {

std::unique_ptr<visa::ResourceManager> ResourceManagerObject;
InstrumentSession Session;
transport::Timeouts SessionTimeouts;
std::function<void(const std::string& text)> ShowNotice = [](const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
};
std::function<void()> EndProgramOnLostCommunication;

} // namespace globals
