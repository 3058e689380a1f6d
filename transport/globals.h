#pragma once

// The window's shared session variables: the resource manager object that opened the instrument, the
// one instrument session every checked command and query goes through, and how the window's transport
// operations tell the user and end the program. The command-line tool and every other caller use
// transport::Instrument directly and none of this.

#include "transport/InstrumentSession.h"
#include "transport/Timeouts.h"
#include "visa/ResourceManager.h"

#include <functional>
#include <memory>
#include <string>

namespace globals {

extern std::unique_ptr<visa::ResourceManager> ResourceManagerObject;
extern InstrumentSession Session;

// The limits every open of the window's session uses; tests shorten them.
extern transport::Timeouts SessionTimeouts;

// Shows a message to the user and returns once it is acknowledged: the program installs a modal
// message box. Until then messages go to standard error.
extern std::function<void(const std::string& text)> ShowNotice;

// Ends the program once lost communication has been told, without running any window's closing code.
// The program installs it; without it (or if it returns) the interrupted operation is abandoned with
// transport::InstrumentLost.
extern std::function<void()> EndProgramOnLostCommunication;

} // namespace globals
