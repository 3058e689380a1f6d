#pragma once

#include "visa/ResourceFinder.h"

#include <string>
#include <vector>

namespace transport {

// How an instrument's identity was learnt.
enum class IdentitySource {
    Answered,      // its own *IDN? reply
    Finder,        // what the finding method carried (an mDNS TXT record), *IDN? not answered or not asked
    NotIdentified, // asked, but no usable *IDN? reply came
    NotAsked,      // finding without identification
};

// One instrument as finding sees it: every resource that reaches it, best first. Text fields are printable
// ASCII of bounded length, whatever the instrument sent.
struct FoundInstrument {
    IdentitySource source = IdentitySource::NotAsked;
    std::string manufacturer;
    std::string model;
    std::string serial;
    std::string firmware;
    std::string host; // the address its LAN resources share; empty for the other buses
    std::vector<visa::FoundResource> resources;

    const std::string& bestResource() const { return resources.front().resource; }
};

// The transport of a resource as a user knows it: "HiSLIP", "VXI-11", "USB", "SOCKET", "GPIB", "ASRL", "SIM";
// "?" for text that is not a resource.
std::string transportName(const std::string& resource);

// The order in which resources of one instrument are offered, as the transports' table ranks them.
int transportRank(const std::string& resource);

// Whether the instrument is the program's own simulated mainframe rather than one reached over a bus or
// the LAN (a pinwright-sim on the LAN is not built in, though it may carry the same serial).
bool isBuiltIn(const FoundInstrument& instrument);

// "Korvane MF-7, serial SIM0001, firmware 1.0", with " (built in)" for the built-in simulated mainframe;
// for an instrument that said nothing of itself, why, and its address where it has one.
std::string describeIdentity(const FoundInstrument& instrument);

// Where an instrument stands in a list, whatever order finding took: by manufacturer, model and serial
// (instruments that said nothing of themselves last), then by address and best resource. Keys compare
// as plain strings.
std::string listingKey(const FoundInstrument& instrument);
void sortForListing(std::vector<FoundInstrument>& instruments);

// How the identity was learnt, as one word for tables and JSON: "answered", "finder", "none", "not asked".
std::string identitySourceName(IdentitySource source);

} // namespace transport
