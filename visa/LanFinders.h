#pragma once

// The LAN's finders, each of the ResourceFinder shape (visa/ResourceFinder.h). Both send on every IPv4
// interface that is up, not only the one the default route leaves by, and listen for options.window.

#include "visa/ResourceFinder.h"

namespace visa {

// A portmapper GETPORT call for the VXI-11 core channel, broadcast on each interface that has a broadcast
// address; every instrument that answers with a port gives TCPIP0::<address>::INSTR.
void findVxi11ByBroadcast(const FindOptions& options, FindSink& sink);

// One-shot mDNS / DNS-SD queries from an ephemeral port (never port 5353, so a running mDNS daemon keeps
// it) for the VXI-11, HiSLIP, raw SCPI and LXI service types, with the identity of the LXI TXT records.
void findByMdns(const FindOptions& options, FindSink& sink);

} // namespace visa
