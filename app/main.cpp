// Pinwright programs the digital control port of a modular power mainframe over SCPI.
// Layers, calling one way only: app (this dialog) -> ui (pin programmer window) -> port (command set)
// -> transport (session, checked command and query) -> visa (resource strings and transports).

#include "app/DisplayCheck.h"
#include "app/FrmIO.h"
#include "app/ProgramSetup.h"
#include "app/WindowArguments.h"
#include "base/ProgramVersion.h"

#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::string> ArgumentsAfterProgramName(int argc, char* argv[]) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

} // namespace

int main(int argc, char* argv[]) {
    // --help and --version answer before any window system is needed.
    const auto early = WindowArguments::parse(ArgumentsAfterProgramName(argc, argv));
    if (early.help) {
        std::fputs(WindowArguments::usage().c_str(), stdout);
        return 0;
    }
    if (early.version) {
        std::printf("pinwright %s\n", kProgramVersion);
        return 0;
    }

    if (!CheckGraphicalDisplay(argc, argv))
        return 2;

    QApplication application(argc, argv);
    const auto arguments = WindowArguments::parse(ArgumentsAfterProgramName(argc, argv));
    if (!arguments.error.empty()) {
        std::fprintf(stderr, "pinwright: %s\n\n%s", arguments.error.c_str(),
                     WindowArguments::usage().c_str());
        return 2;
    }
    PrepareProgram(application);
    FrmIO dialog;
    if (arguments.resource)
        dialog.ui.IOtxt->setText(QString::fromStdString(*arguments.resource));
    dialog.show();
    return application.exec();
}
