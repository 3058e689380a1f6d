#pragma once

#include "transport/FoundInstrument.h"
#include "transport/InstrumentIdentity.h"

#include <optional>
#include <string>
#include <vector>

namespace transport {

// The instruments found so far, merged: resources whose *IDN? replies name one instrument (manufacturer,
// model and serial) are one entry, whatever transport each came by (the LAN ones of one host); resources
// that said nothing of themselves are merged by their host, or stand alone. No I/O: what each resource
// answered is given.
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
    // What ties resources to an instrument, beside instruments_, one each.
    struct Entry {
        std::string identity; // manufacturer|model[|serial] as answered, lower case; empty: no answer
        std::string place;    // "host:..." or "resource:..."; empty: bus resources only, so far
    };

    std::optional<std::size_t> findEntry(const std::string& identity, bool serialKnown,
                                         const std::string& place) const;

    std::vector<FoundInstrument> instruments_;
    std::vector<Entry> entries_;
    std::vector<std::string> resources_;
};

} // namespace transport
