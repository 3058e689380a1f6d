#pragma once

// The connection dialog and start-up window: the resource string and whether the unit is cleared on
// connecting. It opens the session and hands over to the pin programmer window; it is only hidden
// while that window is up, so it comes back with its last contents.

#include "ui/frmDigi.h"
#include "ui_FrmIO.h"

#include <QPointer>
#include <QWidget>

class FrmIO : public QWidget {
    Q_OBJECT

public:
    explicit FrmIO(QWidget* parent = nullptr);

    Ui::FrmIO ui;

    // The pin programmer window while it is loaded, else null.
    frmDigi* mainWindow() const { return mainWindow_; }

private:
    void CmdSetIO_Click();
    void cmdCancel_Click();
    void ShowMainWindow();

    QPointer<frmDigi> mainWindow_;
};
