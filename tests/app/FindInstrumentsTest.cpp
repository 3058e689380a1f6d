// The connection dialog's "Find Instruments..." window, driven by the keyboard and mouse as a user does,
// over finders of the test's own: one that reports two simulated mainframes a moment apart.

#include "tests/support/GuiFixture.h"
#include "tests/support/KeyboardUser.h"
#include "tests/support/ScopedFinders.h"

#include <QMenu>
#include <QTreeWidget>
#include <poll.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using keyboard_user::PressTab;

constexpr unsigned kOtherBoard = 9;

std::atomic<int> searches{0};

visa::ResourceFinder twoMainframesApart() {
    return [](const visa::FindOptions&, visa::FindSink& sink) {
        ++searches;
        sink.found({"SIM" + std::to_string(kOtherBoard) + "::INSTR", "test", "", "", "", ""});
        std::this_thread::sleep_for(300ms);
        sink.found({"SIM6::INSTR", "test", "", "", "", ""});
    };
}

QString identityOf(unsigned board) {
    return QString::fromStdString("Korvane MF-7, serial " + sim::Mainframe::serialNumberFor(board) +
                                  ", firmware 1.0 (built in)");
}

class FindInstruments : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        searches = 0;
        QApplication::setActiveWindow(dialog.get());
        dialog->ui.IOtxt->setFocus(Qt::OtherFocusReason);
    }

    FindInstrumentsWindow& pressCtrlF() {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
        FindInstrumentsWindow* window = dialog->findWindow();
        if (window == nullptr || !window->isVisible())
            throw std::runtime_error("Ctrl+F opened no find window");
        QApplication::setActiveWindow(window);
        return *window;
    }

    static bool waitForEnd(const FindInstrumentsWindow& window) {
        return QTest::qWaitFor([&] { return !window.isFinding(); }, 5000);
    }

    static QStringList row(const FindInstrumentsWindow& window, int index) {
        const QTreeWidgetItem* item = window.ui.lstInstruments->topLevelItem(index);
        return item ? QStringList{item->text(0), item->text(1), item->text(2)} : QStringList{};
    }

    std::map<QString, QRect> controlPlaces() const {
        std::map<QString, QRect> places;
        for (const QWidget* control : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (!control->isWindow())
                places[control->objectName()] = control->geometry();
        return places;
    }

    ScopedFinders finders{{{visa::InterfaceType::Sim, "test", twoMainframesApart()}}};
};

TEST_F(FindInstruments, CtrlFArrowsAndEnterPutTheChosenResourceInTheBoxAndSetSendsWhatItAlwaysDid) {
    FindInstrumentsWindow& window = pressCtrlF();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.ui.lstInstruments->topLevelItemCount() == 1; }, 5000));
    EXPECT_TRUE(window.isFinding()) << "the first instrument is listed while the second is still to come";
    EXPECT_EQ(window.ui.prgFinding->maximum(), 0) << "a busy indication while finding";
    ASSERT_TRUE(waitForEnd(window));
    // In the order of their serials, whichever was found first, each marked as the built-in mainframe.
    EXPECT_EQ(row(window, 0), (QStringList{identityOf(6), "SIM6::INSTR", "SIM"}));
    EXPECT_EQ(row(window, 1), (QStringList{identityOf(kOtherBoard), "SIM9::INSTR", "SIM"}));
    EXPECT_EQ(window.ui.lblStatus->text(), "2 instruments found.");
    EXPECT_EQ(window.ui.prgFinding->value(), window.ui.prgFinding->maximum());

    ASSERT_EQ(QApplication::focusWidget(), window.ui.lstInstruments);
    QTest::keyClick(window.ui.lstInstruments, Qt::Key_Down);
    QTest::keyClick(window.ui.lstInstruments, Qt::Key_Up);
    QTest::keyClick(window.ui.lstInstruments, Qt::Key_Return);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(dialog->ui.IOtxt->text(), "SIM6::INSTR");
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == dialog->ui.IOtxt; }, 2000))
        << "the focus is back in the resource box";

    EXPECT_EQ(received(), (std::vector<std::string>{"*IDN?"}))
        << "finding asks the identity and nothing else";
    mainframe().traffic().clear();
    Click(dialog->ui.CmdSetIO);
    const auto traffic = received();
    ASSERT_FALSE(traffic.empty());
    EXPECT_EQ(traffic.front(), "*IDN?");
    EXPECT_EQ(traffic.size(), 1u + 16u) << "the identity and the load step's sixteen queries, as before";
}

TEST_F(FindInstruments, DoubleClickChoosesAndEscapeLeavesTheBoxAsItWas) {
    FindInstrumentsWindow& window = pressCtrlF();
    ASSERT_TRUE(waitForEnd(window));
    QTest::keyClick(window.ui.lstInstruments, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(dialog->ui.IOtxt->text(), "SIM6::INSTR");

    QApplication::setActiveWindow(dialog.get());
    FindInstrumentsWindow& again = pressCtrlF();
    ASSERT_TRUE(waitForEnd(again));
    auto* list = again.ui.lstInstruments;
    const QRect first = list->visualItemRect(list->topLevelItem(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, first.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, first.center());
    EXPECT_FALSE(again.isVisible());
    EXPECT_EQ(dialog->ui.IOtxt->text(), "SIM9::INSTR");
}

TEST_F(FindInstruments, ClosedWhileFindingAndOpenedAgainItGoesOnWithTheSameSearch) {
    FindInstrumentsWindow& window = pressCtrlF();
    QTest::keyClick(window.ui.lstInstruments, Qt::Key_Escape);
    ASSERT_TRUE(window.isFinding());
    QApplication::setActiveWindow(dialog.get());
    FindInstrumentsWindow& again = pressCtrlF();
    ASSERT_TRUE(waitForEnd(again));
    EXPECT_EQ(again.ui.lstInstruments->topLevelItemCount(), 2);
    EXPECT_EQ(searches, 1);
}

TEST(FindInstrumentsStatus, NamesTheFindersThatCannotRunInItsToolTip) {
    const ScopedFinders finders{
        {{visa::InterfaceType::Gpib, "GPIB", [](const visa::FindOptions&, visa::FindSink& sink) {
              sink.unavailable("GPIB", "linux-gpib is not installed");
          }}}};
    FindInstrumentsWindow window;
    window.findInstruments();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.isFinding(); }, 5000));
    EXPECT_EQ(window.ui.lblStatus->text(), "No instrument found.");
    EXPECT_TRUE(window.ui.lblStatus->toolTip().contains("GPIB: linux-gpib is not installed"))
        << window.ui.lblStatus->toolTip().toStdString();
}

TEST(FindInstrumentsClosing, EscapeClosesAtOnceWhileAFinderRunsAndDestroyingTheWindowStopsIt) {
    auto ended = std::make_shared<std::atomic<bool>>(false);
    const ScopedFinders finders{
        {{visa::InterfaceType::Tcpip, "endless", [ended](const visa::FindOptions& options, visa::FindSink&) {
              pollfd stop{options.stopDescriptor, POLLIN, 0};
              while (::poll(&stop, 1, -1) <= 0) {
              }
              *ended = true;
          }}}};
    auto window = std::make_unique<FindInstrumentsWindow>();
    window->findInstruments();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 2000));
    const auto pressed = std::chrono::steady_clock::now();
    QTest::keyClick(window->ui.lstInstruments, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 2000));
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, 100ms);
    EXPECT_TRUE(window->isFinding());
    EXPECT_FALSE(*ended) << "the finder still runs while the window is closed";
    window.reset();
    EXPECT_TRUE(*ended) << "the window's end stopped its finder and waited for it";
}

TEST_F(FindInstruments, TheDialogKeepsItsControlsPlacesAndTabOrder) {
    const auto before = controlPlaces();
    const QSize size = dialog->size();
    FindInstrumentsWindow& window = pressCtrlF();
    ASSERT_TRUE(waitForEnd(window));
    QTest::keyClick(window.ui.lstInstruments, Qt::Key_Escape);
    EXPECT_EQ(controlPlaces(), before);
    EXPECT_EQ(dialog->size(), size);
    QApplication::setActiveWindow(dialog.get());
    dialog->ui.IOtxt->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(PressTab(4), (QStringList{"CmdSetIO", "cmdCancel", "chkRST", "IOtxt"}));
}

TEST_F(FindInstruments, TheResourceBoxOffersFindingInItsMenuAndSaysSoInItsToolTip) {
    EXPECT_TRUE(dialog->ui.IOtxt->toolTip().contains("Ctrl+F")) << dialog->ui.IOtxt->toolTip().toStdString();
    EXPECT_TRUE(dialog->ui.IOtxt->toolTip().contains("Find Instruments..."));

    // Through the window, as a click arrives from the window system, so that it opens the context menu.
    QTest::mouseClick(dialog->windowHandle(), Qt::RightButton, Qt::NoModifier,
                      dialog->ui.IOtxt->mapTo(dialog.get(), dialog->ui.IOtxt->rect().center()));
    QMenu* menu = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }, 2000));
    const QAction* last = menu->actions().back();
    EXPECT_EQ(last->text(), "Find Instruments...");
    EXPECT_EQ(last->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
    QTest::keyClick(menu, Qt::Key_Up); // from the top, Up goes round to the last entry
    QTest::keyClick(menu, Qt::Key_Return);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return dialog->findWindow() && dialog->findWindow()->isVisible(); }, 2000));
    ASSERT_TRUE(waitForEnd(*dialog->findWindow()));
    EXPECT_EQ(dialog->findWindow()->ui.lstInstruments->topLevelItemCount(), 2);
}

} // namespace
