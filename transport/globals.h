#pragma once

// The program's shared session variables: the resource manager object that opened the instrument and
// the one instrument session every checked command and query goes through.

#include "transport/InstrumentSession.h"
#include "visa/ResourceManager.h"

#include <memory>

namespace globals {

extern std::unique_ptr<visa::ResourceManager> ResourceManagerObject;
extern InstrumentSession Session;

} // namespace globals
