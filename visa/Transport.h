#pragma once

#include "visa/ResourceName.h"

#include <optional>
#include <string_view>

namespace visa {

// The ways to an instrument, one row each in the resource manager's backend table.
enum class Transport { Hislip, Vxi11, Usb, Socket, Gpib, Asrl, Sim };

// What the rest of the program may ask of a transport, kept in its row beside its opener.
struct TransportFacts {
    Transport transport = Transport::Sim;
    const char* name = "";         // as a user knows it: "HiSLIP", "VXI-11", "SOCKET", ...
    int findRank = 0;              // lower is offered first when one instrument is reached several ways
    bool waitsThroughLoop = false; // every wait is base::FileDescriptor::waitFor: it may run on a fiber
};

// The transport that carries a parsed resource.
Transport transportOf(const ResourceName& name);

// The facts of the resource's transport; nullopt for text that is not a resource string.
std::optional<TransportFacts> transportFacts(std::string_view resource);
const TransportFacts& transportFacts(Transport transport);

} // namespace visa
