#pragma once

#include "MessageSession.h"

#include <chrono>
#include <memory>
#include <string>

namespace visa {

// Opens sessions: parses the resource string, picks the backend that serves it and opens it within
// the open time-out. Every failure is a VisaError whose description starts with the resource text.
class ResourceManager {
public:
    std::unique_ptr<MessageSession> Open(const std::string& resource, int accessMode,
                                         std::chrono::milliseconds openTimeout, const std::string& options);
};

} // namespace visa
