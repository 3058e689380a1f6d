#pragma once

#include <chrono>
#include <functional>

namespace pybinding {

// How long the interpreter may go without running its signal handlers while a long call waits: Ctrl-C
// ends the call within about this.
inline constexpr std::chrono::milliseconds kSignalSlice{50};

// Waits for work that runs on threads of its own (a rack, a search) without holding the GIL, in slices
// of kSignalSlice: `waitSlice(limit)` waits at most `limit` and says whether the work has ended. Between
// slices, with the GIL held, Python's signal handlers run; when one raises (KeyboardInterrupt), `stop`
// asks the work to end, the wait goes on until it has (what is under way finishes its exchange, so no
// instrument is left half-written), and the handler's exception is thrown as error_already_set. Needs
// the GIL.
void waitInSlices(const std::function<bool(std::chrono::milliseconds)>& waitSlice,
                  const std::function<void()>& stop);

} // namespace pybinding
