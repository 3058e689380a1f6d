// The two Designer forms as the program shows them: names, kinds, containers, geometry, captions, lists,
// initial state, option groups and accessible names.
#include "app/FrmIO.h"
#include "tests/ui/LayoutFixture.h"
#include "ui/frmDigi.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace layout_test;

struct Placement {
    std::string name;
    std::string className;
    std::string parent;
    int left, top, width, height; // twips, as the layout is drawn
};

void ExpectPlacements(QWidget& window, const std::vector<Placement>& table) {
    std::set<QString> named;
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        named.insert(QString::fromStdString(row.name));
        QWidget* widget = Find(window, row.name);
        ASSERT_NE(widget, nullptr) << "missing or not unique";
        EXPECT_STREQ(widget->metaObject()->className(), row.className.c_str());
        ASSERT_NE(widget->parentWidget(), nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName().toStdString(), row.parent);
        for (int twips : {row.left, row.top, row.width, row.height})
            ASSERT_EQ(twips % kTwipsPerPixel, 0) << "table value not on a pixel";
        EXPECT_EQ(widget->geometry(), QRect(row.left / kTwipsPerPixel, row.top / kTwipsPerPixel,
                                            row.width / kTwipsPerPixel, row.height / kTwipsPerPixel));
    }
    // No stray controls: every named widget of the form is one of the table's.
    for (QWidget* child : window.findChildren<QWidget*>()) {
        const QString name = child->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_"))) {
            EXPECT_TRUE(named.count(name)) << "unexpected control " << name.toStdString();
        }
    }
}

std::vector<Placement> FrmIOPlacements() {
    return {
        {"Label1", "QLabel", "FrmIO", 360, 240, 2775, 375},
        {"IOtxt", "QLineEdit", "FrmIO", 360, 480, 4095, 285},
        {"CmdSetIO", "QPushButton", "FrmIO", 360, 1440, 1695, 615},
        {"cmdCancel", "QPushButton", "FrmIO", 2640, 1440, 1695, 615},
        {"chkRST", "QCheckBox", "FrmIO", 480, 960, 3855, 255},
    };
}

struct PinNames {
    std::string frame, functionLabel, polarityGroup, polarityLabel;
};

const std::vector<PinNames> kPins = {
    {"Frame1", "Label1", "Frame2", "Label2"},     {"frmPin2", "Label4", "Frame4", "Label3"},
    {"Frame3", "Label6", "Frame5", "Label5"},     {"Frame6", "Label8", "Frame8", "Label7"},
    {"Frame9", "Label10", "Frame10", "Label9"},   {"Frame11", "Label12", "Frame12", "Label11"},
    {"Frame13", "Label14", "Frame14", "Label13"},
};

std::vector<Placement> FrmDigiPlacements() {
    std::vector<Placement> table = {
        {"frmFault2", "QGroupBox", "frmDigi", 2400, 120, 2175, 2895},
        {"Label23", "QLabel", "frmFault2", 240, 960, 1695, 1095},
        {"Frame7", "QGroupBox", "frmDigi", 120, 3000, 9255, 2655},
        {"cmdConnect", "QPushButton", "frmDigi", 10080, 3360, 2175, 735},
        {"cmdExit", "QPushButton", "frmDigi", 10080, 4440, 2175, 735},
        {"Frame17", "QGroupBox", "frmDigi", 120, 5760, 6015, 1095},
        {"Frame15", "QGroupBox", "Frame7", 120, 360, 4455, 2055},
        {"cmdSetDIO", "QPushButton", "Frame15", 3000, 1080, 1215, 495},
        {"Frame16", "QGroupBox", "Frame7", 4800, 360, 4215, 2055},
        {"cmdDin", "QPushButton", "Frame16", 360, 720, 1575, 615},
        {"Label22", "QLabel", "Frame16", 2160, 600, 1455, 375},
        {"txtDin", "QLineEdit", "Frame16", 2160, 840, 975, 375},
        {"optLive", "QRadioButton", "Frame17", 360, 480, 1095, 255},
        {"optLatch", "QRadioButton", "Frame17", 1440, 480, 1095, 255},
        {"optOff", "QRadioButton", "Frame17", 2880, 480, 735, 255},
        {"cmdInhibit", "QPushButton", "Frame17", 3840, 360, 1575, 495},
    };
    for (int pin = 1; pin <= 7; ++pin) {
        const PinNames& n = kPins[pin - 1];
        table.push_back({n.frame, "QGroupBox", "frmDigi", 120 + 2280 * (pin - 1), 120, 2175, 2895});
        table.push_back({n.functionLabel, "QLabel", n.frame, 120, 360, 1335, 255});
        table.push_back({PinName("cmbPin", pin), "QComboBox", n.frame, 120, 600, 1815, 315});
        table.push_back({n.polarityGroup, "QFrame", n.frame, 120, 960, 1815, 975});
        table.push_back({n.polarityLabel, "QLabel", n.polarityGroup, 120, 120, 1455, 255});
        table.push_back(
            {PinName("optPin", pin, "Pos"), "QRadioButton", n.polarityGroup, 120, 360, 1335, 255});
        table.push_back({PinName("optPin", pin, "Neg"), "QRadioButton", n.polarityGroup, 120, 600, 975, 255});
        table.push_back({PinName("cmdPin", pin), "QPushButton", n.frame, 360, 2160, 1455, 495});
    }
    // Output-bit grid: label name and position, combo box position.
    const struct {
        const char* label;
        int labelLeft, labelTop, comboLeft, comboTop;
    } grid[] = {
        {"Label15", 240, 480, 840, 360},   {"Label21", 240, 960, 840, 840},
        {"Label20", 240, 1440, 840, 1320}, {"Label19", 1560, 480, 2160, 360},
        {"Label18", 1560, 960, 2160, 840}, {"Label17", 1560, 1440, 2160, 1320},
        {"Label16", 2880, 480, 3480, 360},
    };
    for (int pin = 1; pin <= 7; ++pin) {
        const auto& g = grid[pin - 1];
        table.push_back({g.label, "QLabel", "Frame15", g.labelLeft, g.labelTop, 735, 255});
        table.push_back(
            {PinName("cmbPin", pin, "DIO"), "QComboBox", "Frame15", g.comboLeft, g.comboTop, 615, 315});
    }
    return table;
}

TEST_F(LayoutTest, ScreenIsAt96DpiSoPixelsAreFifteenTwips) {
    EXPECT_DOUBLE_EQ(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 96.0);
    EXPECT_DOUBLE_EQ(QGuiApplication::primaryScreen()->devicePixelRatio(), 1.0);
}

TEST_F(LayoutTest, ConnectionDialogControlsSitWhereDrawn) {
    FrmIO dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("IO configuration"));
    EXPECT_EQ(dialog.size(), QSize(4680 / kTwipsPerPixel, 2355 / kTwipsPerPixel));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    ExpectPlacements(dialog, FrmIOPlacements());
}

TEST_F(LayoutTest, MainWindowControlsSitWhereDrawn) {
    frmDigi window(nullptr);
    EXPECT_EQ(window.windowTitle(),
              QStringLiteral("Digital Pin Programmer for Korvane Modular Power Mainframes"));
    EXPECT_EQ(window.size(), QSize(16320 / kTwipsPerPixel, 8655 / kTwipsPerPixel));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    ExpectPlacements(window, FrmDigiPlacements());
}

TEST_F(LayoutTest, TitlesAndCaptionsAreVerbatim) {
    frmDigi window(nullptr);
    FrmIO dialog;
    const std::vector<std::pair<QWidget*, QString>> texts = {
        {Find(dialog, "Label1"), "Enter VISA initialization string here:"},
        {Find(dialog, "CmdSetIO"), "Set"},
        {Find(dialog, "cmdCancel"), "Cancel"},
        {Find(dialog, "chkRST"), "Clear unit on startup (send a *RST and a *CLS)"},
        {Find(window, "frmFault2"), "Pin 2"},
        {Find(window, "Label23"),
         "Pin 1 is set to be a fault output so pin 2 is automatically set to be the common for pin 1."},
        {Find(window, "Frame7"), "Digital IO"},
        {Find(window, "Frame15"), "Digital Output"},
        {Find(window, "Frame16"), "Digital Input"},
        {Find(window, "Frame17"), "Inhibit Mode (For this to be in use, pin 3 needs to be set to Inhibit)"},
        {Find(window, "cmdConnect"), "Connect to Another Supply"},
        {Find(window, "cmdExit"), "Exit"},
        {Find(window, "cmdSetDIO"), "Set"},
        {Find(window, "cmdDin"), "Read Digital Input"},
        {Find(window, "Label22"), "Pin 7654321"},
        {Find(window, "optLive"), "Live"},
        {Find(window, "optLatch"), "Latching"},
        {Find(window, "optOff"), "Off"},
        {Find(window, "cmdInhibit"), "Set"},
        {Find(window, "Label15"), "Pin 1 = "},
        {Find(window, "Label21"), "Pin 2 = "},
        {Find(window, "Label20"), "Pin 3 = "},
        {Find(window, "Label19"), "Pin 4 = "},
        {Find(window, "Label18"), "Pin 5 = "},
        {Find(window, "Label17"), "Pin 6 = "},
        {Find(window, "Label16"), "Pin 7 = "},
    };
    std::vector<std::pair<QWidget*, QString>> all = texts;
    for (int pin = 1; pin <= 7; ++pin) {
        const PinNames& n = kPins[pin - 1];
        all.push_back({Find(window, n.frame), QStringLiteral("Pin %1").arg(pin)});
        all.push_back({Find(window, n.functionLabel), "Function:"});
        all.push_back({Find(window, n.polarityLabel), "Polarity:"});
        all.push_back({Find(window, PinName("optPin", pin, "Pos")), "Positive"});
        all.push_back({Find(window, PinName("optPin", pin, "Neg")), "Negative"});
        all.push_back({Find(window, PinName("cmdPin", pin)), "Set"});
        auto* group = Find<QFrame>(window, n.polarityGroup);
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->frameShape(), QFrame::NoFrame) << n.polarityGroup << " must be drawn without border";
    }
    for (const auto& [widget, expected] : all) {
        ASSERT_NE(widget, nullptr) << expected.toStdString();
        QString shown;
        if (auto* label = qobject_cast<QLabel*>(widget))
            shown = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            shown = button->text();
        else if (auto* group = qobject_cast<QGroupBox*>(widget))
            shown = group->title();
        EXPECT_EQ(shown.toStdString(), expected.toStdString()) << widget->objectName().toStdString();
    }
}

TEST_F(LayoutTest, FunctionAndBitListsHoldTheirItemsInOrder) {
    frmDigi window(nullptr);
    const QStringList common = {"Digital IO", "Digital Input", "Trigger Out", "Trigger In"};
    const QStringList coupled = common + QStringList{"On Couple", "Off Couple"};
    const std::vector<std::pair<std::string, QStringList>> lists = {
        {"cmbPin1", common + QStringList{"Fault"}},
        {"cmbPin2", common},
        {"cmbPin3", common + QStringList{"Inhibit"}},
        {"cmbPin4", coupled},
        {"cmbPin5", coupled},
        {"cmbPin6", coupled},
        {"cmbPin7", coupled},
    };
    std::vector<std::pair<std::string, QStringList>> all = lists;
    for (int pin = 1; pin <= 7; ++pin)
        all.push_back({PinName("cmbPin", pin, "DIO"), {" 0", " 1"}});
    for (const auto& [name, items] : all) {
        auto* combo = Find<QComboBox>(window, name);
        ASSERT_NE(combo, nullptr) << name;
        QStringList shown;
        for (int i = 0; i < combo->count(); ++i)
            shown << combo->itemText(i);
        EXPECT_EQ(shown, items) << name;
    }
}

TEST_F(LayoutTest, ConnectionDialogStartsWithDefaultResourceAndClearChecked) {
    FrmIO dialog;
    EXPECT_EQ(dialog.ui.IOtxt->text(), QStringLiteral("GPIB0::5::INSTR"));
    EXPECT_TRUE(dialog.ui.chkRST->isChecked());
    for (QPushButton* button : {dialog.ui.CmdSetIO, dialog.ui.cmdCancel}) {
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
    }
    EXPECT_FALSE(dialog.ui.Label1->wordWrap());
}

TEST_F(LayoutTest, EnterAndEscapeInTheResourceTextPressNoButton) {
    FrmIO dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy set(dialog.ui.CmdSetIO, &QPushButton::clicked);
    QSignalSpy cancel(dialog.ui.cmdCancel, &QPushButton::clicked);
    dialog.ui.IOtxt->setFocus();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(dialog.ui.IOtxt, key);
    EXPECT_EQ(set.count(), 0);
    EXPECT_EQ(cancel.count(), 0);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(LayoutTest, MainWindowControlsStartEmptyUnchosenAndEnabled) {
    frmDigi window(nullptr);
    for (QComboBox* combo : window.findChildren<QComboBox*>()) {
        SCOPED_TRACE(combo->objectName().toStdString());
        EXPECT_TRUE(combo->isEditable());
        EXPECT_EQ(combo->currentIndex(), -1);
        EXPECT_TRUE(combo->currentText().isEmpty());
    }
    for (QRadioButton* option : window.findChildren<QRadioButton*>())
        EXPECT_FALSE(option->isChecked()) << option->objectName().toStdString();
    EXPECT_TRUE(window.ui.txtDin->text().isEmpty());
    EXPECT_TRUE(window.ui.txtDin->isReadOnly());
    EXPECT_FALSE(window.ui.frmPin2->isHidden());
    EXPECT_FALSE(window.ui.frmFault2->isHidden());
    for (QWidget* child : window.findChildren<QWidget*>()) {
        EXPECT_TRUE(child->isEnabled()) << child->objectName().toStdString();
        const QString name = child->objectName();
        if (child != window.ui.frmPin2 && child != window.ui.frmFault2 && !name.isEmpty() &&
            !name.startsWith(QLatin1String("qt_"))) {
            EXPECT_FALSE(child->isHidden()) << child->objectName().toStdString();
        }
    }
}

TEST_F(LayoutTest, LabelsAreTopLeftAndOnlyTheFaultNoteWraps) {
    frmDigi window(nullptr);
    FrmIO dialog;
    auto labels = window.findChildren<QLabel*>() + dialog.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 23 + 1);
    for (QLabel* label : labels) {
        SCOPED_TRACE(label->objectName().toStdString());
        EXPECT_EQ(label->alignment() & (Qt::AlignHorizontal_Mask | Qt::AlignVertical_Mask),
                  Qt::AlignLeft | Qt::AlignTop);
        EXPECT_EQ(label->wordWrap(), label == window.ui.Label23);
    }
}

// Choosing an option clears only the options of the same container.
TEST_F(LayoutTest, OptionGroupsAreExclusiveByContainer) {
    frmDigi window(nullptr);
    std::vector<std::vector<QRadioButton*>> groups;
    for (int pin = 1; pin <= 7; ++pin)
        groups.push_back({Find<QRadioButton>(window, PinName("optPin", pin, "Pos")),
                          Find<QRadioButton>(window, PinName("optPin", pin, "Neg"))});
    groups.push_back({window.ui.optLive, window.ui.optLatch, window.ui.optOff});
    for (const auto& group : groups)
        group.front()->setChecked(true);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        for (QRadioButton* chosen : groups[g]) {
            chosen->click();
            for (std::size_t other = 0; other < groups.size(); ++other)
                for (QRadioButton* option : groups[other]) {
                    const bool expected = other == g ? option == chosen : option == groups[other].front();
                    EXPECT_EQ(option->isChecked(), expected) << "after " << chosen->objectName().toStdString()
                                                             << ": " << option->objectName().toStdString();
                }
        }
        groups[g].front()->click();
    }
}

TEST_F(LayoutTest, EveryFocusableControlHasAnAnnouncedName) {
    frmDigi window(nullptr);
    FrmIO dialog;
    const std::vector<std::pair<QWidget*, QString>> named = {
        {dialog.ui.IOtxt, "Resource string"},
        {dialog.ui.chkRST, "Clear unit on startup"},
        {window.ui.cmbPin5, "Pin 5 function"},
        {window.ui.optPin5Pos, "Pin 5 positive polarity"},
        {window.ui.optPin5Neg, "Pin 5 negative polarity"},
        {window.ui.cmdPin5, "Pin 5 Set"},
        {window.ui.cmbPin3DIO, "Pin 3 output bit"},
        {window.ui.cmdSetDIO, "Set output word"},
        {window.ui.txtDin, "Input word, pin 7 first"},
        {window.ui.optLive, "Inhibit mode Live"},
        {window.ui.optLatch, "Inhibit mode Latching"},
        {window.ui.optOff, "Inhibit mode Off"},
    };
    for (const auto& [widget, name] : named)
        EXPECT_EQ(widget->accessibleName(), name) << widget->objectName().toStdString();
    for (QWidget* form : std::initializer_list<QWidget*>{&window, &dialog}) {
        std::set<QString> seen;
        for (QWidget* child : form->findChildren<QWidget*>()) {
            if (!(child->focusPolicy() & Qt::TabFocus) || child->focusProxy() != nullptr ||
                child->objectName().isEmpty())
                continue;
            SCOPED_TRACE(child->objectName().toStdString());
            EXPECT_FALSE(child->accessibleName().isEmpty());
            EXPECT_TRUE(seen.insert(child->accessibleName()).second) << "name used twice";
        }
    }
}
} // namespace
