// main() for GUI tests: one QApplication on Qt's offscreen platform, set up as the program sets itself up.

#include "app/ProgramSetup.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    // Windows come and go in these tests; the program's own end must not stop the test run.
    QApplication::setQuitOnLastWindowClosed(false);
    PrepareProgram(application);
    return RUN_ALL_TESTS();
}
