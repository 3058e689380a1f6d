#pragma once

#include "visa/MessageSession.h"
#include "visa/ResourceName.h"

#include <chrono>
#include <memory>

namespace visa {

// The backends for the buses a bench machine reaches through its own drivers:
//  - USB: the kernel's usbtmc driver when the instrument is bound to it, else an installed VISA library
//    (which may reach the device its own way), else a description of what is attached;
//  - GPIB: an installed VISA library, else linux-gpib, else a description naming both ways to get GPIB;
//  - ASRL and anything else: an installed VISA library, else a description saying one is needed.
// Each throws VisaError whose description starts with the resource text.
std::unique_ptr<MessageSession> openLocalBusSession(const ResourceName& name,
                                                    std::chrono::milliseconds openTimeout);

// The resource through an installed VISA library; nullptr when none is installed.
std::unique_ptr<MessageSession> openThroughVisaLibrary(const ResourceName& name,
                                                       std::chrono::milliseconds openTimeout);

} // namespace visa
