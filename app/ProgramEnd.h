#pragma once

// Ends the process at once: no window's closing code runs and nothing more reaches the instrument
// (no session close, no pending write). Serves both Cancel and lost communication.
[[noreturn]] void EndProgramNow(int exitCode);
