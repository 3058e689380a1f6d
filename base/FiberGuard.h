#pragma once

namespace base {

// The engine's one rule, enforced: a blocking call that cannot wait through the fiber loop says so
// before it blocks. On a fiber, in builds with the checks (every build type but Release), it ends the
// process with "<what> would block the thread of a fiber loop" on standard error, so that the mistake
// shows in the first test that reaches it rather than as a stall under load.
void assertNotOnFiber(const char* what);

// Whether assertNotOnFiber checks in this build.
bool fiberChecksEnabled();

} // namespace base
