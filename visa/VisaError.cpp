#include "visa/VisaError.h"

#include "base/Milliseconds.h"

namespace visa {

void throwVisaError(const std::string& resource, VisaError::Kind kind, std::string_view what) {
    throw VisaError(kind, resource + ": " + std::string(what));
}

void throwTimeout(const std::string& resource, std::string_view what, std::chrono::milliseconds limit,
                  std::string_view why) {
    std::string description = std::string(what) + " within " + base::milliseconds(limit);
    if (!why.empty())
        description += " (" + std::string(why) + ")";
    throwVisaError(resource, VisaError::Kind::Timeout, description);
}

void throwClosed(const std::string& resource) {
    throwVisaError(resource, VisaError::Kind::Closed, "the session is closed");
}

} // namespace visa
