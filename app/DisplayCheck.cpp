#include "app/DisplayCheck.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kNoDisplayStatus = 2;

void SayNoDisplay(const char* what) {
    std::fprintf(stderr,
                 "pinwright: %s. Pinwright is a windowed program and needs a graphical display (an X11 or "
                 "Wayland session, with DISPLAY or WAYLAND_DISPLAY set).\n"
                 "For automated tests without a display, set QT_QPA_PLATFORM=offscreen.\n",
                 what);
}

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

QtMessageHandler previousHandler = nullptr;

// Qt reports a platform that cannot start as a fatal message and then aborts; this ends the program
// first, with the plain message and a failure status.
void EndOnPlatformFailure(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg && message.contains(QLatin1String("platform plugin"))) {
        SayNoDisplay("the graphical display could not be opened");
        std::fflush(stderr);
        std::_Exit(kNoDisplayStatus);
    }
    if (previousHandler != nullptr)
        previousHandler(type, context, message);
}

} // namespace

bool CheckGraphicalDisplay(int argc, char* argv[]) {
    bool platformArgument = false;
    for (int i = 1; i < argc; ++i)
        platformArgument = platformArgument || std::strcmp(argv[i], "-platform") == 0 ||
                           std::strcmp(argv[i], "--platform") == 0;
    if (!platformArgument && !IsSet("QT_QPA_PLATFORM") && !IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) {
        SayNoDisplay("no graphical display is available");
        return false;
    }
    previousHandler = qInstallMessageHandler(&EndOnPlatformFailure);
    return true;
}
