#include "tests/support/AnsweringPeer.h"
#include "tests/support/GuiFixture.h"
#include "tests/support/KeyboardUser.h"
#include "transport/globals.h"
#include "ui/frmDigi.h"

#include <QMessageBox>
#include <QProcess>
#include <QScreen>

namespace {

const QString kIdentityLead =
    QStringLiteral("The instrument you are communicating with returns the following *IDN? string:\r\n");

using ConnectionDialog = GuiTest;

TEST_F(ConnectionDialog, StartsWithItsInitialValuesAndFocusInTheResourceText) {
    FrmIO fresh;
    fresh.show();
    QApplication::setActiveWindow(&fresh);
    EXPECT_EQ(fresh.windowTitle(), "IO configuration");
    EXPECT_EQ(fresh.ui.IOtxt->text(), "GPIB0::5::INSTR");
    EXPECT_TRUE(fresh.ui.chkRST->isChecked());
    EXPECT_EQ(QApplication::focusWidget(), fresh.ui.IOtxt);
}

TEST_F(ConnectionDialog, SetClearsTheUnitAfterTheIdentityAndOpensTheMainWindow) {
    dialog->ui.chkRST->setChecked(true);
    Click(dialog->ui.CmdSetIO);
    ASSERT_GE(boxes.seen().size(), 1u);
    const SeenBox& identity = boxes.seen()[0];
    EXPECT_EQ(identity.text, kIdentityLead + "Korvane,MF-7," +
                                 QString::fromStdString(sim::Mainframe::serialNumberFor(kBoard)) + ",1.0\n");
    EXPECT_EQ(identity.title, "Pinwright");
    EXPECT_EQ(identity.buttons, QStringList{"OK"});
    EXPECT_EQ(identity.icon, QMessageBox::NoIcon);
    EXPECT_EQ(identity.textFormat, Qt::PlainText);

    const auto traffic = received();
    ASSERT_GE(traffic.size(), 2u);
    EXPECT_EQ(traffic[0], "*IDN?");
    EXPECT_EQ(traffic[1], "*RST;*CLS");
    EXPECT_FALSE(dialog->isVisible());
    ASSERT_NE(dialog->mainWindow(), nullptr);
    EXPECT_TRUE(dialog->mainWindow()->isVisible());
    EXPECT_EQ(traffic.size(), 2u + 16u) << "the load step's sixteen queries follow";
}

TEST_F(ConnectionDialog, UncheckedBoxSendsNoClear) {
    Click(dialog->ui.CmdSetIO);
    const auto traffic = received();
    ASSERT_FALSE(traffic.empty());
    EXPECT_EQ(traffic[0], "*IDN?");
    EXPECT_EQ(std::count(traffic.begin(), traffic.end(), "*RST;*CLS"), 0);
}

TEST_F(ConnectionDialog, FailedOpenLeavesTheDialogAsItWasAndSetTriesAgain) {
    dialog->ui.IOtxt->setText(QString());
    Click(dialog->ui.CmdSetIO);
    Click(dialog->ui.CmdSetIO);
    ASSERT_EQ(boxes.seen().size(), 2u) << "each press is a complete attempt of its own";
    for (const auto& box : boxes.seen())
        EXPECT_TRUE(box.text.startsWith("Set IO error:\r\n")) << box.text.toStdString();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->ui.IOtxt->text(), "");
    EXPECT_FALSE(dialog->ui.chkRST->isChecked());
    EXPECT_EQ(dialog->mainWindow(), nullptr);
}

TEST_F(ConnectionDialog, EnterAndEscapePressNeitherButton) {
    dialog->ui.IOtxt->setFocus();
    QTest::keyClick(dialog->ui.IOtxt, Qt::Key_Return);
    QTest::keyClick(dialog->ui.IOtxt, Qt::Key_Escape);
    QTest::keyClick(dialog.get(), Qt::Key_Enter);
    EXPECT_TRUE(received().empty());
    EXPECT_TRUE(boxes.seen().empty());
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(ConnectionDialog, InstrumentRepliesAreShownAsPlainCharacters) {
    AnsweringPeer peer([](const std::string& line) -> std::optional<std::string> {
        if (line == "*IDN?")
            return "<b>x</b>,<img src=a.png>\n";
        return line == "SYST:ERR?" ? "+0,\"No error\"\n" : "+0\n"; // enough for the window to load
    });
    dialog->ui.IOtxt->setText(QString::fromStdString(peer.resource()));
    Click(dialog->ui.CmdSetIO);
    ASSERT_GE(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].text, kIdentityLead + "<b>x</b>,<img src=a.png>\n");
    EXPECT_EQ(boxes.seen()[0].textFormat, Qt::PlainText);
}

TEST_F(ConnectionDialog, ReconnectShowsTheDialogWithItsLastContentsAndKeepsTheSessionOpen) {
    dialog->ui.IOtxt->setText(QStringLiteral("sim6::instr"));
    frmDigi& window = Connect();
    Click(window.ui.cmdConnect);
    Settle();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->ui.IOtxt->text(), "sim6::instr");
    EXPECT_FALSE(dialog->ui.chkRST->isChecked());
    EXPECT_EQ(dialog->mainWindow(), nullptr) << "the main window is unloaded";
    EXPECT_TRUE(received().empty()) << "no close or anything else reaches the instrument";
    ASSERT_TRUE(globals::Session);
    EXPECT_TRUE(globals::Session->query("*IDN?").ok()) << "still open";
    mainframe().traffic().clear();

    // The next Set loads the window afresh from the instrument.
    mainframe().receive("DIG:PIN2:FUNC TOUT");
    frmDigi& again = Connect();
    EXPECT_EQ(again.ui.cmbPin2->currentText(), "Trigger Out");
}

TEST_F(ConnectionDialog, ErrorNoHandlerCatchesIsReportedAndTheProgramGoesOn) {
    frmDigi& window = Connect();
    // A failed query whose error readout cannot read: the in-process instrument drops the unread answer.
    mainframe().faults().inject(sim::Fault::DropReply, 1);
    Click(window.ui.cmdDin);
    ASSERT_FALSE(boxes.seen().empty());
    EXPECT_TRUE(boxes.seen().back().text.startsWith(
        "The operation was stopped because reading the power supply's error queue failed: "))
        << boxes.seen().back().text.toStdString();
    EXPECT_TRUE(window.isVisible());
}

using ConnectionDialogDeathTest = GuiTest;

TEST_F(ConnectionDialogDeathTest, CancelEndsTheProgramAtOnceWithoutClosingTheSession) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            frmDigi& window = Connect();
            Click(window.ui.cmdConnect);
            Settle();
            mainframe().traffic().clear();
            Click(dialog->ui.cmdCancel);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(ConnectionDialogDeathTest, LostCommunicationInTheMainWindowEndsTheProgramWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            frmDigi& window = Connect();
            mainframe().faults().inject(sim::Fault::StopAnswering);
            Click(window.ui.cmdPin3);
            std::fprintf(stderr, "still running after %zu message(s)", boxes.seen().size());
        },
        ::testing::ExitedWithCode(1), "");
}

} // namespace

namespace {

TEST_F(ConnectionDialog, AnOverlongReplyIsCutInTheMessageAndTheCutIsSaid) {
    const std::string identity = "Korvane,MF-7," + std::string(100000, 'x');
    AnsweringPeer peer([&](const std::string& line) -> std::optional<std::string> {
        if (line == "*IDN?")
            return identity + "\n";
        return line == "SYST:ERR?" ? "+0,\"No error\"\n" : "+0\n";
    });
    dialog->ui.IOtxt->setText(QString::fromStdString(peer.resource()));
    Click(dialog->ui.CmdSetIO);
    ASSERT_GE(boxes.seen().size(), 1u);
    const QString& shown = boxes.seen()[0].text;
    EXPECT_LT(shown.size(), 4200);
    EXPECT_TRUE(shown.startsWith(kIdentityLead + "Korvane,MF-7,xxx"));
    EXPECT_TRUE(shown.endsWith("more characters not shown)")) << shown.right(80).toStdString();
}

using keyboard_user::PressTab;

TEST_F(ConnectionDialog, OpensCentredWithTheResourceTextSelectedSoTypingReplacesIt) {
    FrmIO fresh;
    fresh.show();
    QApplication::setActiveWindow(&fresh);
    ASSERT_EQ(QApplication::focusWidget(), fresh.ui.IOtxt);
    const QPoint offCentre = fresh.frameGeometry().center() - fresh.screen()->availableGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 40) << offCentre.x() << "," << offCentre.y();
    QTest::keyClicks(fresh.ui.IOtxt, "SIM6::INSTR");
    EXPECT_EQ(fresh.ui.IOtxt->text(), "SIM6::INSTR");
}

TEST_F(ConnectionDialog, ComesBackWhereItWasWithTheResourceTextSelected) {
    QApplication::setActiveWindow(dialog.get());
    const QPoint placed = dialog->pos() + QPoint(37, 23); // where the user dragged it
    dialog->move(placed);
    frmDigi& window = Connect();
    Click(window.ui.cmdConnect);
    Settle();
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->pos(), placed);
    QApplication::setActiveWindow(dialog.get());
    ASSERT_EQ(QApplication::focusWidget(), dialog->ui.IOtxt);
    EXPECT_EQ(dialog->ui.IOtxt->selectedText(), "SIM6::INSTR");
    QTest::keyClicks(dialog->ui.IOtxt, "sim6");
    EXPECT_EQ(dialog->ui.IOtxt->text(), "sim6");
}

TEST_F(ConnectionDialog, TabAndShiftTabGoRoundTheDialogOnce) {
    QApplication::setActiveWindow(dialog.get());
    dialog->ui.IOtxt->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(PressTab(4), (QStringList{"CmdSetIO", "cmdCancel", "chkRST", "IOtxt"}));
    EXPECT_EQ(PressTab(4, false), (QStringList{"chkRST", "cmdCancel", "CmdSetIO", "IOtxt"}));
}

TEST_F(ConnectionDialog, EnterAndKeypadEnterPressTheFocusedSetButton) {
    for (const auto modifiers :
         {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::KeypadModifier)}) {
        QApplication::setActiveWindow(dialog.get());
        dialog->ui.IOtxt->setFocus(Qt::OtherFocusReason);
        PressTab(1);
        ASSERT_EQ(QApplication::focusWidget(), dialog->ui.CmdSetIO);
        QTest::keyClick(dialog->ui.CmdSetIO, modifiers ? Qt::Key_Enter : Qt::Key_Return, modifiers);
        ASSERT_NE(dialog->mainWindow(), nullptr) << "the session opened and the main window loaded";
        EXPECT_EQ(received().front(), "*IDN?");
        Click(dialog->mainWindow()->ui.cmdConnect);
        Settle();
        mainframe().traffic().clear();
    }
}

struct StartCase {
    const char* name;
    QStringList environment; // besides the test's own, without any display or platform setting
    const char* says;
};

void PrintTo(const StartCase& c, std::ostream* out) {
    *out << c.name;
}

class StartWithoutDisplay : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartWithoutDisplay, SaysSoPlainlyAndEndsWithAFailureStatus) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    for (const QString& setting : GetParam().environment)
        environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(PINWRIGHT_PROGRAM, {});
    ASSERT_TRUE(program.waitForFinished(20000)) << "the program did not end";
    const QString said = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << "no abort: " << said.toStdString();
    EXPECT_NE(program.exitCode(), 0);
    EXPECT_TRUE(said.contains(GetParam().says)) << said.toStdString();
    EXPECT_TRUE(said.contains("needs a graphical display")) << said.toStdString();
    EXPECT_TRUE(said.contains("QT_QPA_PLATFORM=offscreen")) << said.toStdString();
    EXPECT_FALSE(said.contains("Reinstalling")) << said.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Program, StartWithoutDisplay,
    ::testing::Values(StartCase{"NothingSet", {}, "no graphical display is available"},
                      StartCase{"DisplayWithoutServer", {"DISPLAY=:97"}, "could not be opened"}));

} // namespace
