#pragma once

#include <stdexcept>
#include <string>

namespace base {

// An error meant for the user: sentence() is a whole sentence the window shows as it is. Every layer's
// errors that can reach the user derive from this, so that the window needs to know none of them.
// what() is the error's own text; for most errors it is the sentence itself.
class UserError : public std::runtime_error {
public:
    explicit UserError(const std::string& sentence) : std::runtime_error(sentence), sentence_(sentence) {}
    UserError(const std::string& what, const std::string& sentence)
        : std::runtime_error(what), sentence_(sentence) {}

    const char* sentence() const noexcept { return sentence_.what(); }

private:
    // Held the way std::runtime_error holds its text, so that copying the error cannot throw.
    std::runtime_error sentence_;
};

} // namespace base
