#include "tests/support/AnsweringPeer.h"
#include "tests/support/GuiFixture.h"
#include "tests/support/KeyboardUser.h"
#include "transport/globals.h"
#include "ui/frmDigi.h"

#include <QAbstractItemView>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <map>

namespace {

using Strings = std::vector<std::string>;

Strings Queries14() {
    Strings queries;
    for (int pin = 1; pin <= 7; ++pin) {
        queries.push_back("DIG:PIN" + std::to_string(pin) + ":FUNC?");
        queries.push_back("DIG:PIN" + std::to_string(pin) + ":POL?");
    }
    return queries;
}

Strings Concat(Strings a, const Strings& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

QString OutputBits(frmDigi& w) {
    QString bits; // pin 1 first, without the leading blanks
    for (auto* list : {w.ui.cmbPin1DIO, w.ui.cmbPin2DIO, w.ui.cmbPin3DIO, w.ui.cmbPin4DIO, w.ui.cmbPin5DIO,
                       w.ui.cmbPin6DIO, w.ui.cmbPin7DIO})
        bits += list->currentText().trimmed();
    return bits;
}

class MainWindow : public GuiTest {
protected:
    // An instrument on a socket with scripted answers; queries it does not know get no answer.
    std::unique_ptr<AnsweringPeer> ScriptedInstrument(std::map<std::string, std::string> answers) {
        answers.emplace("*IDN?", "Korvane,MF-7,S,1");
        answers.emplace("SYST:ERR?", "+0,\"No error\"");
        auto peer =
            std::make_unique<AnsweringPeer>([answers](const std::string& line) -> std::optional<std::string> {
                if (auto found = answers.find(line); found != answers.end()) {
                    if (found->second.empty())
                        return std::nullopt; // scripted silence
                    return found->second + "\n";
                }
                if (line.ends_with(":FUNC?"))
                    return "DIO\n";
                if (line.ends_with(":POL?"))
                    return "POS\n";
                if (line == "DIG:OUTP:DATA?" || line == "DIG:INP:DATA?")
                    return "+0\n";
                if (line == "OUTP:INH:MODE?")
                    return "OFF\n";
                return std::nullopt;
            });
        dialog->ui.IOtxt->setText(QString::fromStdString(peer->resource()));
        return peer;
    }

    // Connected and the active window, so that keys and focus changes reach it as the user's do.
    frmDigi& ConnectActive() {
        frmDigi& w = Connect();
        QApplication::setActiveWindow(&w);
        return w;
    }
};

TEST_F(MainWindow, LoadMakesSixteenQueriesThenShowsTheInstrumentsState) {
    mainframe().receive("DIG:PIN1:FUNC FAUL;:DIG:PIN1:POL NEG;:DIG:OUTP:DATA 5;:OUTP:INH:MODE LATC");
    mainframe().traffic().clear();
    Click(dialog->ui.CmdSetIO);
    frmDigi& w = *dialog->mainWindow();
    EXPECT_EQ(received(), Concat(Concat({"*IDN?", "DIG:OUTP:DATA?"}, Queries14()), {"OUTP:INH:MODE?"}));
    EXPECT_EQ(w.ui.cmbPin1->currentText(), "Fault");
    EXPECT_FALSE(w.ui.frmPin2->isVisible());
    EXPECT_TRUE(w.ui.frmFault2->isVisible());
    EXPECT_TRUE(w.ui.optPin1Neg->isChecked());
    EXPECT_TRUE(w.ui.optPin3Pos->isChecked());
    EXPECT_EQ(w.ui.cmbPin1DIO->currentText(), " 1");
    EXPECT_EQ(OutputBits(w), "1010000");
    EXPECT_TRUE(w.ui.optLatch->isChecked());
    EXPECT_EQ(w.PinFunction[1], "Fault");
    EXPECT_EQ(w.PinPolarity[1], "NEG");
    EXPECT_EQ(w.focusWidget(), w.ui.cmbPin1);
    EXPECT_TRUE(boxes.seen().size() == 1u) << "only the identity message";
}

TEST_F(MainWindow, LoadShowsUnknownRepliesAsEmptyOrUnchosen) {
    auto peer = ScriptedInstrument({{"DIG:OUTP:DATA?", "+200"},
                                    {"DIG:PIN3:FUNC?", "BOGUS"},
                                    {"DIG:PIN4:FUNC?", "FAUL"},
                                    {"DIG:PIN2:POL?", "pos"},
                                    {"OUTP:INH:MODE?", "LATCH"}});
    frmDigi& w = Connect();
    EXPECT_EQ(OutputBits(w), "0001001") << "the digits of 72";
    EXPECT_EQ(w.ui.cmbPin3->currentText(), "");
    EXPECT_TRUE(w.ui.optPin3Pos->isChecked()) << "polarity and output bit still shown";
    EXPECT_EQ(w.ui.cmbPin4->currentText(), "Fault") << "written even though the list does not offer it";
    EXPECT_TRUE(w.ui.optPin2Neg->isChecked());
    EXPECT_FALSE(w.ui.optLive->isChecked() || w.ui.optLatch->isChecked() || w.ui.optOff->isChecked());
    EXPECT_TRUE(w.ui.frmPin2->isVisible());
    EXPECT_FALSE(w.ui.frmFault2->isVisible());
    EXPECT_TRUE(boxes.seen().empty());
}

TEST_F(MainWindow, FailedOutputWordQueryStopsTheLoadButTheWindowStillOpens) {
    auto peer = ScriptedInstrument({{"DIG:OUTP:DATA?", ""}});
    Click(dialog->ui.CmdSetIO);
    frmDigi* w = dialog->mainWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    const QStringList texts = boxes.texts();
    ASSERT_EQ(texts.size(), 3) << texts.join("|").toStdString();
    EXPECT_TRUE(texts[1].startsWith("Timeout error:\r\n"));
    EXPECT_EQ(texts[2], "The power supply's reply \"\" is not a number between -32768 and 32767.");
    EXPECT_EQ(peer->received(), (Strings{"*IDN?", "DIG:OUTP:DATA?", "SYST:ERR?", "SYST:ERR?"}))
        << "no further query after the failure";
    EXPECT_EQ(w->ui.cmbPin1->currentText(), "");
    EXPECT_FALSE(w->ui.optPin1Pos->isChecked() || w->ui.optPin1Neg->isChecked());
    EXPECT_TRUE(w->ui.frmPin2->isVisible()) << "one pin 2 panel, not both on top of each other";
    EXPECT_FALSE(w->ui.frmFault2->isVisible());

    // With neither polarity chosen, a Set sends the function alone.
    boxes.clear();
    w->ui.cmbPin3->setEditText("Inhibit");
    Click(w->ui.cmdPin3);
    EXPECT_EQ(peer->received().back(), "SYST:ERR?");
    EXPECT_EQ(peer->received()[peer->received().size() - 2], "DIG:PIN3:FUNC INH");
}

TEST_F(MainWindow, PinSetSendsFunctionThenChosenPolarity) {
    frmDigi& w = Connect();
    w.ui.cmbPin4->setEditText("Trigger Out");
    w.ui.optPin4Neg->setChecked(true);
    Click(w.ui.cmdPin4);
    w.ui.cmbPin2->setEditText("Digital Input");
    w.ui.optPin2Pos->setChecked(true);
    Click(w.ui.cmdPin2);
    EXPECT_EQ(received(), (Strings{"DIG:PIN4:FUNC TOUT", "SYST:ERR?", "DIG:PIN4:POL NEG", "SYST:ERR?",
                                   "DIG:PIN2:FUNC DINP", "SYST:ERR?", "DIG:PIN2:POL POS", "SYST:ERR?"}));
    EXPECT_TRUE(boxes.seen().empty());
}

TEST_F(MainWindow, ChoosingItemsAndOptionsSendsNothing) {
    frmDigi& w = Connect();
    w.ui.cmbPin5->setCurrentIndex(4);
    w.ui.optPin5Neg->click();
    w.ui.optLive->click();
    w.ui.cmbPin5DIO->setCurrentIndex(1);
    QTest::keyClicks(w.ui.cmbPin1, "Fault");
    EXPECT_TRUE(received().empty());
    EXPECT_TRUE(w.ui.frmPin2->isVisible()) << "choosing Fault alone does not swap the panels";
}

TEST_F(MainWindow, PinOneFaultTakesPinTwoEvenWhenTheInstrumentRefuses) {
    // This instrument reports an error after every command.
    auto peer = ScriptedInstrument({{"SYST:ERR?", "-221,\"Settings conflict\""}});
    frmDigi& again = Connect();
    again.ui.cmbPin1->setEditText("Fault");
    again.ui.optPin1Neg->setChecked(true);
    Click(again.ui.cmdPin1);
    EXPECT_EQ(boxes.seen().size(), 2u) << "both refusals shown, the sequence goes on";
    EXPECT_FALSE(again.ui.frmPin2->isVisible());
    EXPECT_TRUE(again.ui.frmFault2->isVisible());
    const Strings sent = peer->received();
    EXPECT_EQ(Strings(sent.end() - 4, sent.end()),
              (Strings{"DIG:PIN1:FUNC FAUL", "SYST:ERR?", "DIG:PIN1:POL NEG", "SYST:ERR?"}));

    again.ui.cmbPin1->setEditText("Digital IO");
    Click(again.ui.cmdPin1);
    EXPECT_TRUE(again.ui.frmPin2->isVisible());
    EXPECT_FALSE(again.ui.frmFault2->isVisible());
}

TEST_F(MainWindow, FaultSwapNeedsTheExactText) {
    frmDigi& w = Connect();
    for (const char* text : {"fault", "Fault "}) {
        w.ui.cmbPin1->setEditText(text);
        Click(w.ui.cmdPin1);
        EXPECT_TRUE(w.ui.frmPin2->isVisible()) << text;
        EXPECT_FALSE(w.ui.frmFault2->isVisible()) << text;
    }
}

TEST_F(MainWindow, CouplingClashWithOnePinIsRefusedAndTheListRestored) {
    mainframe().receive("DIG:PIN6:FUNC ONC;:DIG:PIN4:FUNC TINP");
    frmDigi& w = Connect();
    w.ui.cmbPin4->setEditText("On Couple");
    w.ui.optPin4Neg->setChecked(true);
    Click(w.ui.cmdPin4);
    EXPECT_EQ(boxes.texts(),
              QStringList{"On Couple is already set for pin 6.  Only one pin can be set to On Couple."});
    EXPECT_EQ(w.ui.cmbPin4->currentText(), "Trigger In");
    EXPECT_TRUE(w.ui.optPin4Neg->isChecked()) << "the user's polarity choice stays";
    EXPECT_EQ(received(), Concat(Queries14(), {"DIG:PIN4:FUNC?"})) << "nothing is sent";
    EXPECT_EQ(w.PinFunction[6], "On Couple");
}

TEST_F(MainWindow, CouplingClashWithTwoPinsShowsOneMessageEachInPinOrder) {
    mainframe().receive("DIG:PIN7:FUNC OFFC;:DIG:PIN6:FUNC OFFC");
    frmDigi& w = Connect();
    mainframe().receive("DIG:PIN5:FUNC DINP"); // changed behind the window's back
    mainframe().traffic().clear();
    w.ui.cmbPin5->setEditText("Off Couple");
    Click(w.ui.cmdPin5);
    EXPECT_EQ(boxes.texts(),
              (QStringList{"Off Couple is already set for pin 6.  Only one pin can be set to Off Couple.",
                           "Off Couple is already set for pin 7.  Only one pin can be set to Off Couple."}));
    EXPECT_EQ(w.ui.cmbPin5->currentText(), "Digital Input");
    EXPECT_EQ(received(), Concat(Queries14(), {"DIG:PIN5:FUNC?"}));
}

TEST_F(MainWindow, CouplingRuleCountsOnlyOtherPinsOnTheInstrument) {
    mainframe().receive("DIG:PIN4:FUNC ONC;:DIG:PIN5:FUNC OFFC");
    frmDigi& w = Connect();
    w.ui.cmbPin6->setEditText("On Couple"); // another list's text does not count
    w.ui.cmbPin4->setEditText("On Couple");
    w.ui.optPin4Pos->setChecked(true);
    Click(w.ui.cmdPin4);
    EXPECT_TRUE(boxes.seen().empty()) << "a pin never clashes with itself";
    EXPECT_EQ(received(),
              Concat(Queries14(), {"DIG:PIN4:FUNC ONC", "SYST:ERR?", "DIG:PIN4:POL POS", "SYST:ERR?"}));
}

TEST_F(MainWindow, OnlyTheExactCouplingNamesStartTheRule) {
    mainframe().receive("DIG:PIN6:FUNC ONC");
    frmDigi& w = Connect();
    w.ui.cmbPin4->setEditText("on couple");
    Click(w.ui.cmdPin4);
    w.ui.cmbPin5->setEditText("On Couple ");
    Click(w.ui.cmdPin5);
    w.ui.cmbPin7->setEditText("Trigger Out");
    Click(w.ui.cmdPin7);
    EXPECT_EQ(received(), (Strings{"DIG:PIN4:FUNC ", "SYST:ERR?", "DIG:PIN4:POL POS", "SYST:ERR?",
                                   "DIG:PIN5:FUNC ", "SYST:ERR?", "DIG:PIN5:POL POS", "SYST:ERR?",
                                   "DIG:PIN7:FUNC TOUT", "SYST:ERR?", "DIG:PIN7:POL POS", "SYST:ERR?"}));
    ASSERT_EQ(boxes.seen().size(), 2u) << "the instrument refuses each empty parameter";
    for (const auto& box : boxes.seen())
        EXPECT_TRUE(box.text.startsWith("The command that was sent resulted in the following error: "));
}

struct OutputCase {
    std::array<const char*, 7> digits; // pin 1 first
    const char* sent;                  // nullptr: nothing is sent
};

void PrintTo(const OutputCase& c, std::ostream* out) {
    for (const char* digit : c.digits)
        *out << '[' << digit << ']';
}

class OutputWord : public MainWindow, public ::testing::WithParamInterface<OutputCase> {};

TEST_P(OutputWord, IsTheExactWeightedSum) {
    frmDigi& w = Connect();
    const auto lists = {w.ui.cmbPin1DIO, w.ui.cmbPin2DIO, w.ui.cmbPin3DIO, w.ui.cmbPin4DIO,
                        w.ui.cmbPin5DIO, w.ui.cmbPin6DIO, w.ui.cmbPin7DIO};
    int i = 0;
    for (auto* list : lists)
        list->setEditText(GetParam().digits[static_cast<std::size_t>(i++)]);
    Click(w.ui.cmdSetDIO);
    if (GetParam().sent == nullptr) {
        EXPECT_TRUE(received().empty());
        ASSERT_EQ(boxes.seen().size(), 1u);
    } else {
        ASSERT_EQ(received().size(), 2u);
        EXPECT_EQ(received()[0], GetParam().sent);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Digits, OutputWord,
    ::testing::Values(OutputCase{{" 0", " 0", " 0", " 0", " 0", " 0", " 0"}, "DIG:OUTP:DATA 0"},
                      OutputCase{{" 1", " 1", " 1", " 1", " 1", " 1", " 1"}, "DIG:OUTP:DATA 127"},
                      OutputCase{{" 0", " 0", " 0", " 0", " 0", " 0", " 1"}, "DIG:OUTP:DATA 64"},
                      OutputCase{{"1", " 0", " 1", " 0", " 0", " 0", " 0"}, "DIG:OUTP:DATA 5"},
                      OutputCase{{"2", " 0", " 0", " 0", " 0", " 0", " 0"}, "DIG:OUTP:DATA 2"},
                      OutputCase{{"-1", " 0", " 0", " 0", " 0", " 0", " 0"}, "DIG:OUTP:DATA -1"},
                      OutputCase{{" 0", " 0", " 0", " 0", " 0", " 0", "511"}, "DIG:OUTP:DATA 32704"},
                      OutputCase{{" 0", " 0", " 0", " 0", " 0", " 0", "512"}, nullptr},
                      OutputCase{{" 0", " 0", "", " 0", " 0", " 0", " 0"}, nullptr},
                      OutputCase{{" 0", "x", " 0", " 0", " 0", " 0", " 0"}, nullptr}));

TEST_F(MainWindow, OutputSetRightAfterLoadSendsBackTheWordRead) {
    mainframe().receive("DIG:OUTP:DATA 93");
    frmDigi& w = Connect();
    Click(w.ui.cmdSetDIO);
    EXPECT_EQ(received(), (Strings{"DIG:OUTP:DATA 93", "SYST:ERR?"}));
}

TEST_F(MainWindow, BadDigitsAreReportedByNameAndNothingIsSent) {
    frmDigi& w = Connect();
    w.ui.cmbPin3DIO->setEditText("");
    Click(w.ui.cmdSetDIO);
    w.ui.cmbPin3DIO->setEditText(" 0");
    w.ui.cmbPin7DIO->setEditText("512");
    Click(w.ui.cmdSetDIO);
    EXPECT_EQ(boxes.texts(),
              (QStringList{"Pin 3's output bit \"\" is not a number between -32768 and 32767.",
                           "The output word 32768 built from the Digital Output lists is outside -32768 to "
                           "32767; nothing was sent."}));
    EXPECT_TRUE(received().empty());
    EXPECT_TRUE(w.isVisible());
}

TEST_F(MainWindow, InputWordIsShownPinSevenFirst) {
    auto peer = ScriptedInstrument({{"DIG:INP:DATA?", "+200"}});
    frmDigi& w = Connect();
    Click(w.ui.cmdDin);
    EXPECT_EQ(w.ui.txtDin->text(), "1001000");
    EXPECT_TRUE(w.ui.txtDin->isReadOnly());
}

TEST_F(MainWindow, InputWordFromTheSimulatedPort) {
    mainframe().receive("DIG:PIN1:FUNC DINP;:DIG:OUTP:DATA 4");
    mainframe().setExternalInputLevels(1);
    frmDigi& w = Connect();
    Click(w.ui.cmdDin);
    EXPECT_EQ(w.ui.txtDin->text(), "0000101");
    EXPECT_EQ(received(), Strings{"DIG:INP:DATA?"});
}

TEST_F(MainWindow, InhibitSetSendsTheChosenWordOrAnEmptyOne) {
    auto peer = ScriptedInstrument({{"OUTP:INH:MODE?", "latc"}});
    frmDigi& w = Connect();
    Click(w.ui.cmdInhibit);
    w.ui.optLatch->setChecked(true);
    Click(w.ui.cmdInhibit);
    w.ui.optOff->setChecked(true);
    Click(w.ui.cmdInhibit);
    const Strings sent = peer->received();
    EXPECT_EQ(Strings(sent.end() - 6, sent.end()),
              (Strings{"OUTP:INH:MODE ", "SYST:ERR?", "OUTP:INH:MODE LATC", "SYST:ERR?", "OUTP:INH:MODE OFF",
                       "SYST:ERR?"}));
}

TEST_F(MainWindow, EmptyInhibitWordIsRefusedByTheSimulatedInstrument) {
    mainframe().setState([this] {
        sim::PortState state = mainframe().state();
        state.inhibitMode = "LIVE";
        return state;
    }());
    frmDigi& w = Connect();
    EXPECT_TRUE(w.ui.optLive->isChecked());
    w.ui.optLive->setAutoExclusive(false);
    w.ui.optLive->setChecked(false);
    Click(w.ui.cmdInhibit);
    EXPECT_EQ(received(), (Strings{"OUTP:INH:MODE ", "SYST:ERR?"}));
    ASSERT_EQ(boxes.seen().size(), 1u);
}

TEST_F(MainWindow, ExitClosesTheSessionThenBothWindows) {
    frmDigi& w = Connect();
    QPointer<frmDigi> window(&w);
    Click(w.ui.cmdExit);
    Settle();
    EXPECT_TRUE(window.isNull());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_THROW(globals::Session->command("*IDN?"), std::exception) << "the session is closed";
    EXPECT_TRUE(received().empty());
}

TEST_F(MainWindow, TitleBarCloseDoesWhatExitDoes) {
    frmDigi& w = Connect();
    QPointer<frmDigi> window(&w);
    w.close();
    Settle();
    EXPECT_TRUE(window.isNull());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_THROW(globals::Session->command("*IDN?"), std::exception);
}

TEST_F(MainWindow, CannotBeResized) {
    frmDigi& w = Connect();
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
}

} // namespace

namespace {

TEST_F(MainWindow, TabIntoAnOptionGroupStopsAtTheChosenButton) {
    mainframe().receive("DIG:PIN1:POL NEG");
    frmDigi& w = ConnectActive();
    w.ui.cmbPin1->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.ui.optPin1Neg);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.ui.cmdPin1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), w.ui.optPin1Neg);
}

using keyboard_user::PressTab;
using keyboard_user::TypeInto;

struct TypedCase {
    const char* list;   // the list typed into
    const char* typed;  // typed after selecting the list's text
    const char* button; // the Set button then clicked
    const char* sent;   // the first command that goes out
};

void PrintTo(const TypedCase& c, std::ostream* out) {
    *out << c.list << " \"" << c.typed << '"';
}

class TypedText : public MainWindow, public ::testing::WithParamInterface<TypedCase> {};

TEST_P(TypedText, IsSentAndKeptExactlyAsTyped) {
    frmDigi& w = ConnectActive();
    auto* list = w.findChild<QComboBox*>(GetParam().list);
    auto* set = w.findChild<QPushButton*>(GetParam().button);
    ASSERT_TRUE(list && set);
    TypeInto(list, GetParam().typed);
    QTest::mousePress(set, Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), set) << "the focus left the list";
    QTest::mouseRelease(set, Qt::LeftButton);
    ASSERT_FALSE(received().empty());
    EXPECT_EQ(received()[0], GetParam().sent);
    EXPECT_EQ(list->currentText(), GetParam().typed);
    EXPECT_TRUE(w.ui.frmPin2->isVisible()) << "only the exact \"Fault\" hides pin 2";
}

INSTANTIATE_TEST_SUITE_P(Lists, TypedText,
                         ::testing::Values(TypedCase{"cmbPin1", "fault", "cmdPin1", "DIG:PIN1:FUNC "},
                                           TypedCase{"cmbPin1", "Fault ", "cmdPin1", "DIG:PIN1:FUNC "},
                                           TypedCase{"cmbPin4", "on couple", "cmdPin4", "DIG:PIN4:FUNC "},
                                           TypedCase{"cmbPin2", "Trig", "cmdPin2", "DIG:PIN2:FUNC "},
                                           TypedCase{"cmbPin7", "trigger in", "cmdPin7", "DIG:PIN7:FUNC "},
                                           TypedCase{"cmbPin3DIO", "7", "cmdSetDIO", "DIG:OUTP:DATA 28"},
                                           TypedCase{"cmbPin1DIO", "1", "cmdSetDIO", "DIG:OUTP:DATA 1"}));

TEST_F(MainWindow, PickingFromTheListStillChoosesTheItem) {
    frmDigi& w = ConnectActive();
    QTest::mouseClick(w.ui.cmbPin1->lineEdit(), Qt::LeftButton);
    QTest::keyClick(w.ui.cmbPin1, Qt::Key_F4); // opens the list
    ASSERT_TRUE(w.ui.cmbPin1->view()->isVisible());
    QTest::keyClick(w.ui.cmbPin1->view(), Qt::Key_End);
    QTest::keyClick(w.ui.cmbPin1->view(), Qt::Key_Return);
    EXPECT_EQ(w.ui.cmbPin1->currentText(), "Fault");
    Click(w.ui.cmdPin1);
    ASSERT_FALSE(received().empty());
    EXPECT_EQ(received()[0], "DIG:PIN1:FUNC FAUL");
    EXPECT_TRUE(w.ui.frmFault2->isVisible());
}

struct EnterCase {
    const char* button;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* sent;
};

void PrintTo(const EnterCase& c, std::ostream* out) {
    *out << c.button << (c.modifiers & Qt::KeypadModifier ? " keypad Enter" : " Enter");
}

class EnterKey : public MainWindow, public ::testing::WithParamInterface<EnterCase> {};

TEST_P(EnterKey, PressesTheFocusedCommandButton) {
    frmDigi& w = ConnectActive();
    auto* button = w.findChild<QPushButton*>(GetParam().button);
    ASSERT_NE(button, nullptr);
    // The focus gets there by Tab, as a keyboard user moves it.
    for (int press = 0; press < 60 && QApplication::focusWidget() != button; ++press)
        PressTab(1);
    ASSERT_EQ(QApplication::focusWidget(), button);
    QTest::keyClick(button, GetParam().key, GetParam().modifiers);
    ASSERT_FALSE(received().empty());
    EXPECT_EQ(received()[0], GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, EnterKey,
    ::testing::Values(EnterCase{"cmdPin1", Qt::Key_Return, Qt::NoModifier, "DIG:PIN1:FUNC DIO"},
                      EnterCase{"cmdPin5", Qt::Key_Enter, Qt::KeypadModifier, "DIG:PIN5:FUNC DIO"},
                      EnterCase{"cmdSetDIO", Qt::Key_Enter, Qt::KeypadModifier, "DIG:OUTP:DATA 0"},
                      EnterCase{"cmdDin", Qt::Key_Return, Qt::NoModifier, "DIG:INP:DATA?"},
                      EnterCase{"cmdInhibit", Qt::Key_Return, Qt::NoModifier, "OUTP:INH:MODE OFF"}));

TEST_F(MainWindow, EnterOnTheConnectButtonBringsBackTheDialog) {
    frmDigi& w = ConnectActive();
    w.ui.cmdExit->setFocus(Qt::TabFocusReason);
    PressTab(1, false);
    ASSERT_EQ(QApplication::focusWidget(), w.ui.cmdConnect);
    QTest::keyClick(w.ui.cmdConnect, Qt::Key_Return);
    Settle();
    EXPECT_EQ(dialog->mainWindow(), nullptr);
    EXPECT_TRUE(dialog->isVisible());
}

// The main window's focus order; the option buttons of a group are one stop, at the chosen button.
QStringList TabStops(frmDigi& w) {
    QStringList stops;
    const QStringList order = {
        "cmbPin1",    "optPin1Pos", "optPin1Neg", "cmdPin1",    "cmdPin2",    "optPin2Neg", "optPin2Pos",
        "cmbPin2",    "cmbPin3",    "optPin3Pos", "optPin3Neg", "cmdPin3",    "cmbPin4",    "optPin4Pos",
        "optPin4Neg", "cmdPin4",    "cmdPin5",    "optPin5Neg", "optPin5Pos", "cmbPin5",    "cmbPin6",
        "optPin6Pos", "optPin6Neg", "cmdPin6",    "cmdPin7",    "optPin7Neg", "optPin7Pos", "cmbPin7",
        "cmdSetDIO",  "cmbPin1DIO", "cmbPin3DIO", "cmbPin2DIO", "cmbPin4DIO", "cmbPin5DIO", "cmbPin6DIO",
        "cmbPin7DIO", "cmdDin",     "txtDin",     "cmdConnect", "cmdExit",    "cmdInhibit", "optLive",
        "optLatch",   "optOff"};
    for (const auto& name : order) {
        auto* control = w.findChild<QWidget*>(name);
        if (!control->isVisibleTo(&w))
            continue;
        if (auto* option = qobject_cast<QRadioButton*>(control); option && !option->isChecked())
            continue;
        stops << name;
    }
    return stops;
}

// From `start`, a full round of Tab (or Shift+Tab) presses visits every stop once, in order, and comes
// back to `start`.
void ExpectTabRound(QWidget* start, QStringList stops, bool forward) {
    if (!forward)
        std::reverse(stops.begin(), stops.end());
    const auto at = stops.indexOf(start->objectName());
    ASSERT_GE(at, 0) << start->objectName().toStdString();
    const QStringList expected = stops.mid(at + 1) + stops.mid(0, at + 1);
    EXPECT_EQ(PressTab(static_cast<int>(expected.size()), forward), expected)
        << (forward ? "Tab" : "Shift+Tab") << " from " << start->objectName().toStdString();
}

TEST_F(MainWindow, TabVisitsEveryStopOnceInBothDirectionsAfterALoad) {
    mainframe().receive("DIG:PIN2:POL NEG;:DIG:PIN5:POL NEG;:OUTP:INH:MODE OFF");
    frmDigi& w = ConnectActive();
    const QStringList stops = TabStops(w);
    ASSERT_TRUE(stops.contains("optPin2Neg") && stops.contains("optOff") && !stops.contains("optLive"));
    for (const bool forward : {true, false}) {
        w.ui.cmbPin1->setFocus(Qt::OtherFocusReason);
        ExpectTabRound(w.ui.cmbPin1, stops, forward);
    }
}

TEST_F(MainWindow, TabVisitsEveryStopOnceAfterClicksIntoOptionGroups) {
    frmDigi& w = ConnectActive();
    for (QRadioButton* option : {w.ui.optPin7Neg, w.ui.optLatch, w.ui.optPin2Neg, w.ui.optPin2Pos}) {
        Click(option);
        ASSERT_EQ(QApplication::focusWidget(), option);
        for (const bool forward : {true, false})
            ExpectTabRound(option, TabStops(w), forward);
    }
    // Arrow keys move within a group; Tab then leaves it from the button reached.
    w.ui.optPin3Pos->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(w.ui.optPin3Pos, Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), w.ui.optPin3Neg);
    EXPECT_EQ(PressTab(1), QStringList{"cmdPin3"});
    EXPECT_EQ(PressTab(2, false), (QStringList{"optPin3Neg", "cmbPin3"}));
}

TEST_F(MainWindow, TabSkipsTheHiddenPinTwoPanelAndAGroupWithNothingChosenIsOneStop) {
    auto peer = ScriptedInstrument({{"DIG:PIN1:FUNC?", "FAUL"}, {"OUTP:INH:MODE?", "LATCH"}});
    frmDigi& w = ConnectActive();
    QStringList stops = TabStops(w);
    ASSERT_FALSE(stops.contains("cmdPin2"));
    // No inhibit mode is chosen: the group is still one stop.
    w.ui.cmdExit->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(PressTab(3), (QStringList{"cmdInhibit", "optLive", "cmbPin1"}));
    const QStringList back = PressTab(2, false);
    ASSERT_EQ(back.size(), 2);
    EXPECT_TRUE(back[0].startsWith("opt")) << back[0].toStdString();
    EXPECT_EQ(back[1], "cmdInhibit");
}

} // namespace
