#pragma once

#include "base/UserError.h"

#include <string>

// A text that should be a 16-bit number is not one. Carries the offending text and what it came
// from, e.g. "The power supply's reply".
class ConversionError : public base::UserError {
public:
    ConversionError(std::string source, std::string text)
        : base::UserError(source + " \"" + text + "\" is not a number between -32768 and 32767."),
          source_(std::move(source)), text_(std::move(text)) {}

    const std::string& source() const noexcept { return source_; }
    const std::string& text() const noexcept { return text_; }

private:
    std::string source_;
    std::string text_;
};
