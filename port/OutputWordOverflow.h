#pragma once

#include <stdexcept>
#include <string>

// The digits of the output lists add up to a word outside the 16-bit range.
class OutputWordOverflow : public std::runtime_error {
public:
    explicit OutputWordOverflow(long sum)
        : std::runtime_error("The output word " + std::to_string(sum) +
                             " built from the Digital Output lists is outside -32768 to 32767; nothing was "
                             "sent.") {}
};
