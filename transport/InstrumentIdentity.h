#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace transport {

// The longest identity field kept; an instrument's own text beyond it is cut.
inline constexpr std::size_t kMaxIdentityFieldChars = 64;

// The four fields of an *IDN? reply, printable and bounded.
struct InstrumentIdentity {
    std::string manufacturer;
    std::string model;
    std::string serial;
    std::string firmware;
};

// The identity in a reply ("maker,model,serial,firmware"); nullopt when the reply is not one (fewer than two
// fields, no manufacturer). A reply is the instrument's own text: only the first few hundred characters are
// looked at, and whatever is not printable is replaced.
std::optional<InstrumentIdentity> parseIdentity(std::string_view reply);

// Opens the resource as Instrument::open does (its *IDN? and nothing else), then closes it again; the open
// and the answer each within timeout. nullopt when no identity came back in time, for whatever reason.
std::optional<InstrumentIdentity> askIdentity(const std::string& resource, std::chrono::milliseconds timeout);

} // namespace transport
