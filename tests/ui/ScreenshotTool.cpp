// Renders both windows on Qt's offscreen platform into PNG files, so that the layout can be looked at
// without a display. Usage: pinwright-screenshots <output folder>
#include "app/FrmIO.h"
#include "ui/ProgramFont.h"
#include "ui/frmDigi.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPixmap>
#include <QRadioButton>
#include <cstdio>
#include <utility>

namespace {

bool SaveWindow(QWidget& window, const QDir& folder, const QString& fileName) {
    window.show();
    const QString path = folder.filePath(fileName);
    if (!window.grab().save(path, "PNG")) {
        std::fprintf(stderr, "pinwright-screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    window.hide();
    return true;
}

void FillExample(frmDigi& window) {
    const Ui::frmDigi& ui = window.ui;
    const std::pair<QComboBox*, const char*> functions[] = {
        {ui.cmbPin1, "Digital IO"},  {ui.cmbPin2, "Digital Input"}, {ui.cmbPin3, "Inhibit"},
        {ui.cmbPin4, "Trigger Out"}, {ui.cmbPin5, "Off Couple"},    {ui.cmbPin6, "On Couple"},
        {ui.cmbPin7, "Trigger In"},
    };
    for (const auto& [combo, text] : functions)
        combo->setCurrentText(QString::fromLatin1(text));
    for (QRadioButton* option : {ui.optPin1Pos, ui.optPin2Neg, ui.optPin3Pos, ui.optPin4Pos, ui.optPin5Neg,
                                 ui.optPin6Pos, ui.optPin7Pos, ui.optLatch})
        option->setChecked(true);
    QComboBox* bits[] = {ui.cmbPin1DIO, ui.cmbPin2DIO, ui.cmbPin3DIO, ui.cmbPin4DIO,
                         ui.cmbPin5DIO, ui.cmbPin6DIO, ui.cmbPin7DIO};
    for (int pin = 0; pin < 7; ++pin)
        bits[pin]->setCurrentText(pin == 0 || pin == 2 ? QStringLiteral(" 1") : QStringLiteral(" 0"));
    ui.txtDin->setText(QStringLiteral("0000101"));
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: pinwright-screenshots <output folder>\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists()) {
        std::fprintf(stderr, "pinwright-screenshots: no folder %s\n", argv[1]);
        return 2;
    }
    ApplyProgramFont(application);

    FrmIO dialog;
    frmDigi window(&dialog);
    bool saved = SaveWindow(dialog, folder, QStringLiteral("FrmIO.png"));

    // The window as a load leaves it when pin 1 is not a fault output, and then with the fault notice.
    // The values are an example that puts the longest list texts on screen.
    FillExample(window);
    window.ui.frmFault2->setVisible(false);
    saved = SaveWindow(window, folder, QStringLiteral("frmDigi.png")) && saved;
    window.ui.frmPin2->setVisible(false);
    window.ui.frmFault2->setVisible(true);
    saved = SaveWindow(window, folder, QStringLiteral("frmDigi-fault.png")) && saved;
    return saved ? 0 : 1;
}
