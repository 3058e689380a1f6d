#pragma once

#include <string_view>

namespace base {

// The project's version from CMake, the one the Debian package carries: every program's --version
// prints it, so a bug report names the build that was installed.
std::string_view programVersion();

} // namespace base
