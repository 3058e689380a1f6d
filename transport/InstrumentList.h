#pragma once

#include "transport/FoundInstrument.h"
#include "transport/InstrumentIdentity.h"

#include <optional>
#include <string>
#include <vector>

namespace transport {

// The instruments found so far, merged: resources whose *IDN? replies name one instrument (manufacturer,
// model and serial) are one entry, whatever transport each came by; resources that said nothing of
// themselves are merged by their host, or stand alone. No I/O: what each resource answered is given.
class InstrumentList {
public:
    // Files one resource under its instrument and returns that instrument's index (new ones are appended,
    // so an index stays valid); nullopt when the resource is listed already. identity is what the resource
    // answered to *IDN?; without one, unanswered says why (NotIdentified or NotAsked).
    std::optional<std::size_t> place(const visa::FoundResource& resource,
                                     const std::optional<InstrumentIdentity>& identity,
                                     IdentitySource unanswered);

    const std::vector<FoundInstrument>& instruments() const { return instruments_; }

private:
    std::vector<FoundInstrument> instruments_;
    std::vector<std::string> keys_; // beside instruments_, one each
    std::vector<std::string> resources_;
};

} // namespace transport
