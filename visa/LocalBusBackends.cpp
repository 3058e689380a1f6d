#include "visa/LocalBusBackends.h"

#include "visa/GpibLibrary.h"
#include "visa/GpibSession.h"
#include "visa/UsbtmcDeviceFinder.h"
#include "visa/UsbtmcSession.h"
#include "visa/VisaError.h"
#include "visa/VisaLibrary.h"
#include "visa/VisaLibrarySession.h"

#include <stdexcept>

namespace visa {

namespace {

// A library that is installed but unusable is the user's to fix, so it is reported, not skipped.
template <typename Load> auto loadLibrary(const ResourceName& name, Load load) {
    try {
        return load();
    } catch (const std::runtime_error& error) {
        throw VisaError(VisaError::Kind::Unsupported, name.text + ": " + error.what());
    }
}

std::unique_ptr<MessageSession> openGpib(const ResourceName& name, std::chrono::milliseconds openTimeout) {
    if (auto session = openThroughVisaLibrary(name, openTimeout)) {
        return session;
    }
    if (auto gpib = loadLibrary(name, &GpibLibrary::load)) {
        return GpibSession::open(std::move(gpib), name);
    }
    throw VisaError(VisaError::Kind::Unsupported,
                    name.text +
                        ": GPIB needs either a VISA library (libvisa.so.0) or linux-gpib (its user "
                        "library libgpib.so.0 and kernel driver) installed on this machine, and "
                        "neither is. To try Pinwright without an instrument, connect to SIM0::INSTR.");
}

std::unique_ptr<MessageSession> openUsb(const ResourceName& name, std::chrono::milliseconds openTimeout) {
    const UsbtmcDeviceFinder finder;
    if (auto node = finder.findDeviceNode(name)) {
        return UsbtmcSession::open(name, *node);
    }
    // A VISA library may reach an instrument that is not bound to the kernel driver (through libusb).
    if (auto session = openThroughVisaLibrary(name, openTimeout)) {
        return session;
    }
    throw VisaError(VisaError::Kind::NotFound, name.text + ": " + finder.describeMissing(name));
}

} // namespace

std::unique_ptr<MessageSession> openThroughVisaLibrary(const ResourceName& name,
                                                       std::chrono::milliseconds openTimeout) {
    auto library = loadLibrary(name, &VisaLibrary::load);
    if (!library) {
        return nullptr;
    }
    return VisaLibrarySession::open(std::move(library), name.text, openTimeout);
}

std::unique_ptr<MessageSession> openLocalBusSession(const ResourceName& name,
                                                    std::chrono::milliseconds openTimeout) {
    switch (name.interfaceType) {
    case InterfaceType::Gpib:
        return openGpib(name, openTimeout);
    case InterfaceType::Usb:
        return openUsb(name, openTimeout);
    default:
        break;
    }
    if (auto session = openThroughVisaLibrary(name, openTimeout)) {
        return session;
    }
    const std::string what =
        name.interfaceType == InterfaceType::Asrl ? "Serial ports (ASRL)" : "This kind of resource";
    throw VisaError(VisaError::Kind::Unsupported,
                    name.text + ": " + what +
                        " can only be reached through a VISA library (libvisa.so.0), and none is installed "
                        "on this machine. To try Pinwright without an instrument, connect to SIM0::INSTR.");
}

} // namespace visa
