#include "transport/InstrumentErrors.h"

namespace transport {
namespace {

std::string withoutResource(const std::string& resource, const std::string& description) {
    const std::string lead = resource + ": ";
    if (!resource.empty() && description.rfind(lead, 0) == 0)
        return description.substr(lead.size());
    return description;
}

std::string lostReason(InstrumentLost::Cause cause, const std::string& detail) {
    switch (cause) {
    case InstrumentLost::Cause::StoppedAnswering:
        return "the instrument stopped answering (" + detail + ")";
    case InstrumentLost::Cause::ConnectionLost:
        return "the connection to the instrument was lost (" + detail + ")";
    case InstrumentLost::Cause::Failed:
        break;
    }
    return "communication with the instrument failed (" + detail + ")";
}

} // namespace

InstrumentError::InstrumentError(const std::string& resource, const std::string& description,
                                 const std::string& sentence)
    : base::UserError(description, sentence), resource_(resource),
      reason_(withoutResource(resource, description)) {}

OpenFailure::OpenFailure(const std::string& resource, const std::string& description)
    : InstrumentError(resource, description, "The instrument could not be opened: " + description) {}

// The description quotes the resource itself, and only in part: reason() is the whole of it.
InvalidResource::InvalidResource(const std::string& resource, const std::string& description)
    : OpenFailure(resource, description) {}

InstrumentLost::InstrumentLost(const std::string& resource, const std::string& description, Cause cause)
    : InstrumentError(resource, resource + ": " + lostReason(cause, withoutResource(resource, description)),
                      "The operation was stopped because the instrument session failed: " + description),
      detail_(description) {}

LockNotGranted::LockNotGranted(const std::string& resource, const std::string& description)
    : InstrumentError(resource, description, "The instrument's lock was not granted: " + description) {}

} // namespace transport
