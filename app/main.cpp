// Pinwright programs the digital control port of a modular power mainframe over SCPI.
// Layers, calling one way only: app (this dialog) -> ui (pin programmer window) -> port (command set)
// -> transport (session, checked command and query) -> visa (resource strings and transports) -> sim.

#include "app/DisplayCheck.h"
#include "app/FrmIO.h"
#include "app/ProgramSetup.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    if (!CheckGraphicalDisplay(argc, argv))
        return 2;
    QApplication application(argc, argv);
    PrepareProgram(application);
    FrmIO dialog;
    dialog.show();
    return application.exec();
}
