#include "transport/globals.h"

namespace globals {

std::unique_ptr<visa::ResourceManager> ResourceManagerObject;
InstrumentSession Session;

} // namespace globals
