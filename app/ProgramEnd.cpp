#include "app/ProgramEnd.h"

#include <cstdio>
#include <cstdlib>

void EndProgramNow(int exitCode) {
    std::fflush(nullptr);
    // _Exit skips static destructors and atexit handlers, so no session object gets the chance to
    // say goodbye to the instrument.
    std::_Exit(exitCode);
}
