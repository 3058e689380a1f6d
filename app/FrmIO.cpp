#include "app/FrmIO.h"

#include "app/ProgramEnd.h"
#include "transport/SCPI_DCPS.h"
#include "transport/globals.h"
#include "ui/EnterPressesButton.h"
#include "ui/EventGuard.h"
#include "ui/frmDigi.h"

#include <QMenu>
#include <QScreen>
#include <QShortcut>

namespace {

const QKeySequence kFindKey(Qt::CTRL | Qt::Key_F);

} // namespace

FrmIO::FrmIO(QWidget* parent) : QWidget(parent) {
    ui.setupUi(this);
    // The controls sit at fixed positions, so the dialog keeps the size it was drawn at.
    setFixedSize(size());
    connect(ui.CmdSetIO, &QPushButton::clicked, this, [this] { RunGuarded([this] { CmdSetIO_Click(); }); });
    connect(ui.cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    EnterPressesButton::InstallOn(this);
    // Finding adds a way in without moving or reordering anything the dialog had.
    connect(new QShortcut(kFindKey, this), &QShortcut::activated, this, [this] { ShowFindWindow(); });
    ui.IOtxt->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui.IOtxt, &QLineEdit::customContextMenuRequested, this,
            [this](const QPoint& position) { ShowResourceMenu(position); });
}

void FrmIO::setVisible(bool visible) {
    if (visible == isVisible()) {
        QWidget::setVisible(visible);
        return;
    }
    if (!visible) {
        lastPosition_ = pos();
        QWidget::setVisible(false);
        return;
    }
    // An explicit position also keeps the window manager from placing the returning dialog anew.
    if (lastPosition_) {
        move(*lastPosition_);
    } else if (const QScreen* display = screen()) {
        move(display->availableGeometry().center() - rect().center());
    }
    QWidget::setVisible(true);
    ui.IOtxt->setFocus();
    ui.IOtxt->selectAll();
}

void FrmIO::CmdSetIO_Click() {
    const std::string resource = ui.IOtxt->text().toStdString();
    const std::int16_t skipReset = ui.chkRST->checkState() == Qt::Checked ? 0 : 1;
    if (!SCPI_DCPS::OpenSession(resource, globals::Session, skipReset))
        return;
    hide();
    ShowMainWindow();
}

void FrmIO::cmdCancel_Click() {
    EndProgramNow(0);
}

void FrmIO::ShowFindWindow() {
    if (!findWindow_) {
        findWindow_ = new FindInstrumentsWindow(this);
        findWindow_->setWindowFlag(Qt::Dialog);
        connect(findWindow_, &FindInstrumentsWindow::chosen, this,
                [this](const QString& resource) { TakeFoundResource(resource); });
    }
    findWindow_->findInstruments();
}

void FrmIO::ShowResourceMenu(const QPoint& position) {
    QMenu* menu = ui.IOtxt->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    QAction* find = menu->addAction(tr("Find Instruments..."), this, [this] { ShowFindWindow(); });
    find->setShortcut(kFindKey);
    menu->popup(ui.IOtxt->mapToGlobal(position));
}

void FrmIO::TakeFoundResource(const QString& resource) {
    ui.IOtxt->setText(resource);
    activateWindow();
    ui.IOtxt->setFocus(Qt::OtherFocusReason);
}

void FrmIO::ShowMainWindow() {
    if (!mainWindow_)
        mainWindow_ = new frmDigi(this);
    mainWindow_->LoadAndShow();
}
