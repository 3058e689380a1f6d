#pragma once

#include "visa/FormattedIO488.h"

#include <memory>

// The formatted-I/O object bound to the instrument, or none before the first open. Operations take it
// by reference; only OpenSession replaces it.
using InstrumentSession = std::unique_ptr<visa::FormattedIO488>;
