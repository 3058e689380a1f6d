#pragma once

#include "base/UserError.h"

#include <stdexcept>
#include <string>

namespace transport {

// A failure the transport could not handle itself and hands to the caller, such as a write or read
// that fails while a failed query's error queue is being read out. what() is a whole sentence for
// the user.
class TransportFailure : public base::UserError {
public:
    using base::UserError::UserError;
};

// The identity reply has no model field.
class IdentityError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace transport
