#include "app/ProgramSetup.h"

#include "simbackend/SimBackend.h"
#include "transport/UserNotice.h"
#include "ui/MessageBox.h"
#include "ui/ProgramFont.h"

#include <QApplication>

void PrepareProgram(QApplication& application) {
    ApplyProgramFont(application);
    transport::SetNoticeHandler(&ShowMessage);
    simbackend::registerSimBackend();
}
