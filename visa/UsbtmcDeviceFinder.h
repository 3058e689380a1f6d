#pragma once

#include "visa/ResourceName.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace visa {

// Finds the /dev/usbtmcN node of a USB instrument through sysfs: each /sys/class/usbmisc/usbtmc*
// entry is one USBTMC interface bound to the kernel's usbtmc driver, and its USB device carries the
// vendor id, product id and serial number that the resource names.
class UsbtmcDeviceFinder {
public:
    // What sysfs tells about one usbtmc interface.
    struct Interface {
        std::string nodeName; // "usbtmc0"
        std::uint16_t vendorId = 0;
        std::uint16_t productId = 0;
        std::string serialNumber;
        unsigned interfaceNumber = 0;
    };

    // "/" on a real machine; tests point it at a fake tree of sys/ and dev/.
    explicit UsbtmcDeviceFinder(std::filesystem::path root = "/");

    // The device node of the matching interface (the lowest-numbered one when the resource names no
    // interface and the device has several); nullopt when none is attached.
    std::optional<std::filesystem::path> findDeviceNode(const ResourceName& name) const;

    // Every usbtmc interface sysfs lists, in node-name order; entries it cannot read are left out.
    std::vector<Interface> attachedInterfaces() const;

    // Whether the usbtmc driver is loaded at all (its class folder exists), attached devices or not.
    bool driverLoaded() const;

    // The resource string that opens the interface: USB0::0x1A2B::0x0C3D::serial::interface::INSTR.
    static std::string resourceText(const Interface& attached);

    // Why findDeviceNode found nothing, in words a bench user can act on (without the resource text).
    std::string describeMissing(const ResourceName& name) const;

private:
    std::filesystem::path classDirectory() const;

    std::filesystem::path root_;
};

} // namespace visa
