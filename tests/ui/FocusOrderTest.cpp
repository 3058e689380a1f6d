// The keyboard focus: the Tab order of both windows as drawn, and where the focus starts.
#include "app/FrmIO.h"
#include "tests/ui/LayoutFixture.h"
#include "ui/frmDigi.h"

#include <QApplication>
#include <QTest>
#include <algorithm>

namespace {

using namespace layout_test;

QStringList FocusChainFrom(QWidget* start) {
    QStringList names;
    QWidget* widget = start;
    // The chain is a ring; the bound only stops a broken ring from hanging the test.
    for (int step = 0; step < 500; ++step) {
        const bool stops = (widget->focusPolicy() & Qt::TabFocus) && widget->focusProxy() == nullptr &&
                           widget->isVisibleTo(widget->window()) && widget->isEnabled();
        if (stops)
            names << widget->objectName();
        widget = widget->nextInFocusChain();
        if (widget == start)
            break;
    }
    return names;
}

QStringList PressTab(QWidget& window, QWidget* start, int presses) {
    start->setFocus(Qt::TabFocusReason);
    QStringList names;
    for (int i = 0; i < presses; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        names << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString());
        if (!window.isAncestorOf(QApplication::focusWidget()))
            break;
    }
    return names;
}

QStringList ExpectedMainWindowOrder() {
    QStringList order;
    auto pin = [&order](int n, bool backwards) {
        QStringList names = {QStringLiteral("cmbPin%1").arg(n), QStringLiteral("optPin%1Pos").arg(n),
                             QStringLiteral("optPin%1Neg").arg(n), QStringLiteral("cmdPin%1").arg(n)};
        if (backwards)
            std::reverse(names.begin(), names.end());
        order << names;
    };
    for (int n = 1; n <= 7; ++n)
        pin(n, n == 2 || n == 5 || n == 7);
    order << "cmdSetDIO";
    for (int n : {1, 3, 2, 4, 5, 6, 7})
        order << QStringLiteral("cmbPin%1DIO").arg(n);
    order << QStringList{"cmdDin",     "txtDin",  "cmdConnect", "cmdExit",
                         "cmdInhibit", "optLive", "optLatch",   "optOff"};
    return order;
}

TEST_F(LayoutTest, FocusChainFollowsTheDrawnOrder) {
    frmDigi window(nullptr);
    FrmIO dialog;
    EXPECT_EQ(FocusChainFrom(window.ui.cmbPin1), ExpectedMainWindowOrder());
    EXPECT_EQ(FocusChainFrom(dialog.ui.IOtxt), (QStringList{"IOtxt", "CmdSetIO", "cmdCancel", "chkRST"}));
}

TEST_F(LayoutTest, ConnectionDialogOpensWithFocusInTheResourceText) {
    FrmIO dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(QApplication::focusWidget(), dialog.ui.IOtxt);
}

TEST_F(LayoutTest, MainWindowOpensWithFocusInPinOneFunction) {
    frmDigi window(nullptr);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(QApplication::focusWidget(), window.ui.cmbPin1);
}

// The window as the user sees it while the panel `hidden` is not shown, active.
bool ShowWithout(frmDigi& window, QWidget* hidden) {
    hidden->hide();
    window.show();
    return QTest::qWaitForWindowActive(&window);
}

TEST_F(LayoutTest, TabKeyJumpsBetweenPanelsAsDrawn) {
    frmDigi window(nullptr);
    ASSERT_TRUE(ShowWithout(window, window.ui.frmFault2));
    EXPECT_EQ(PressTab(window, window.ui.cmdPin1, 1), QStringList{"cmdPin2"});
    EXPECT_EQ(PressTab(window, window.ui.cmbPin7, 1), QStringList{"cmdSetDIO"});
    EXPECT_EQ(PressTab(window, window.ui.cmdExit, 1), QStringList{"cmdInhibit"});
    EXPECT_EQ(PressTab(window, window.ui.cmbPin1DIO, 2), (QStringList{"cmbPin3DIO", "cmbPin2DIO"}));
}

TEST_F(LayoutTest, TabKeySkipsTheHiddenPinTwoControls) {
    frmDigi window(nullptr);
    ASSERT_TRUE(ShowWithout(window, window.ui.frmPin2));
    EXPECT_EQ(PressTab(window, window.ui.cmdPin1, 1), QStringList{"cmbPin3"});
}

} // namespace
