#pragma once

#include "base/UserError.h"

#include <string>

// The digits of the output lists add up to a word outside the 16-bit range.
class OutputWordOverflow : public base::UserError {
public:
    explicit OutputWordOverflow(long sum)
        : base::UserError("The output word " + std::to_string(sum) +
                          " built from the Digital Output lists is outside -32768 to 32767; nothing was "
                          "sent.") {}
};
