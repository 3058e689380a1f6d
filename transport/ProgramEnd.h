#pragma once

#include <functional>

namespace transport {

// Ends the process at once: no window's closing code runs and nothing more reaches the instrument
// (no session close, no pending write). Serves both Cancel and lost communication.
[[noreturn]] void EndProgramNow(int exitCode);

// What lost communication does once its notice has been shown. By default the program ends at once
// (status 1); a command-line caller installs a handler that throws instead, so that it can stop the
// operation and leave with its own status. A handler that returns is followed by the default.
using LostCommunicationHandler = std::function<void()>;
void SetLostCommunicationHandler(LostCommunicationHandler handler);
[[noreturn]] void HandleLostCommunication();

} // namespace transport
