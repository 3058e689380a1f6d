#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace Tango {
class DeviceImpl;
}

namespace tangoserver {

// A device's properties as the server uses them. Times in milliseconds; a poll period of 0 polls nothing.
struct DeviceSettings {
    std::string resource;
    std::chrono::milliseconds timeout{2000};
    std::chrono::milliseconds lockTimeout{2000};
    std::chrono::milliseconds inputPollPeriod{200};
};

// The Resource property as Tango hands it over: its database splits a value at every comma, so a HiSLIP
// resource with a port ("TCPIP0::h::hislip1,4880::INSTR") arrives in pieces that are joined again here.
std::string joinedResource(const std::vector<std::string>& pieces);

// The device's properties from its database (none without one: the defaults, and no resource). A time
// that is not a whole number of milliseconds from 0 to an hour is base::UserError, naming the property.
DeviceSettings readDeviceSettings(Tango::DeviceImpl& device);

} // namespace tangoserver
