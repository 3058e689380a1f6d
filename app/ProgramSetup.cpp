#include "app/ProgramSetup.h"

#include "app/ProgramEnd.h"
#include "simbackend/SimBackend.h"
#include "simbackend/SimBoards.h"
#include "transport/globals.h"
#include "ui/MessageBox.h"
#include "ui/ProgramFont.h"
#include "visa/ResourceManager.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

void PrepareProgram(QApplication& application) {
    ApplyProgramFont(application);
    globals::ShowNotice = &ShowMessage;
    // The window's answer to a silent instrument: the user has been told, and nothing more is tried.
    globals::EndProgramOnLostCommunication = [] {
        EndProgramNow(1);
    };
    // The window's board is its own, from power-on each time, as the window has always had it.
    simbackend::registerSimBackend(std::make_shared<simbackend::SimBoards>());
    // A trace is what a user sends to the instrument's maker; without one the program runs as before.
    std::shared_ptr<visa::TraceLog> trace;
    if (const char* traceFile = std::getenv("PINWRIGHT_TRACE"); traceFile != nullptr && *traceFile != '\0') {
        try {
            trace = visa::TraceLog::openFile(traceFile);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "pinwright: %s; going on without a trace\n", error.what());
        }
    }
    globals::ResourceManagerObject = std::make_unique<visa::ResourceManager>(std::move(trace));
}
