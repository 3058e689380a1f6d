#pragma once

#include "base/UdpSocket.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// The UDP sockets a portmapper answers on beside its TCP listener: the served address and port first
// (answers go out through it, so that they come from the instrument's own address), then, where the
// address has them, the broadcast address of its interface and the limited broadcast 255.255.255.255,
// shared with any other simulator on the machine, for the VXI-11 broadcast finders. The any-address
// takes all of that in one socket; a loopback address has no broadcast to take. Empty for an IPv6
// address (there is no broadcast in IPv6). Throws std::system_error when a socket cannot be bound.
std::vector<base::UdpSocket> bindPortmapDatagrams(const std::string& address, std::uint16_t port);

} // namespace sim
