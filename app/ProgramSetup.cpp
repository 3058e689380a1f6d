#include "ProgramSetup.h"

#include <MessageBox.h>
#include <ProgramFont.h>
#include <QApplication>
#include <UserNotice.h>

void PrepareProgram(QApplication& application) {
    ApplyProgramFont(application);
    transport::SetNoticeHandler(&ShowMessage);
}
