#pragma once

#include "transport/Instrument.h"

#include <memory>

// The window's instrument session: the open instrument, or none before the first open and after an
// open that failed. Operations take it by reference; only OpenSession replaces it.
using InstrumentSession = std::unique_ptr<transport::Instrument>;
