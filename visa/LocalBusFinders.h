#pragma once

#include "visa/ResourceFinder.h"

#include <filesystem>

namespace visa {

// The names the built-in local-bus finders are registered and known by.
inline constexpr const char* kUsbtmcFinder = "USBTMC";
inline constexpr const char* kGpibFinder = "GPIB";
inline constexpr const char* kVisaLibraryFinder = "VISA library";

// Every interface bound to the kernel's usbtmc driver, as the USB backend opens it. root is "/" on a real
// machine; tests point it at a fake tree of sys/ and dev/.
ResourceFinder usbtmcFinder(std::filesystem::path root = "/");

// The listeners on each GPIB board that linux-gpib is configured for, one resource per primary address.
void findGpibListeners(const FindOptions& options, FindSink& sink);

// The resources an installed VISA library lists itself, those Pinwright can open.
void findVisaLibraryResources(const FindOptions& options, FindSink& sink);

} // namespace visa
