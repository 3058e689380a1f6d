#include "transport/ProgramEnd.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace transport {
namespace {

LostCommunicationHandler& lostCommunicationHandler() {
    static thread_local LostCommunicationHandler handler; // per thread, as the notice handler
    return handler;
}

} // namespace

void EndProgramNow(int exitCode) {
    std::fflush(nullptr);
    // _Exit skips static destructors and atexit handlers, so no session object gets the chance to
    // say goodbye to the instrument.
    std::_Exit(exitCode);
}

void SetLostCommunicationHandler(LostCommunicationHandler handler) {
    lostCommunicationHandler() = std::move(handler);
}

void HandleLostCommunication() {
    if (const auto& handler = lostCommunicationHandler())
        handler();
    EndProgramNow(1);
}

} // namespace transport
