#pragma once

#include <chrono>
#include <string>

namespace base {

// A time-out as messages name it: "2000 ms".
inline std::string milliseconds(std::chrono::milliseconds value) {
    return std::to_string(value.count()) + " ms";
}

} // namespace base
