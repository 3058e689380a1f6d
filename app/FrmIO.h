#pragma once

// The connection dialog and start-up window: the resource string and whether the unit is cleared on
// connecting. It opens the session and hands over to the pin programmer window; it is only hidden
// while that window is up, so it comes back with its last contents.

#include "app/FindInstrumentsWindow.h"
#include "ui/frmDigi.h"
#include "ui_FrmIO.h"

#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <optional>

class FrmIO : public QWidget {
    Q_OBJECT

public:
    explicit FrmIO(QWidget* parent = nullptr);

    Ui::FrmIO ui;

    // The "Find Instruments..." window once it has been opened, else null.
    FindInstrumentsWindow* findWindow() const { return findWindow_; }

    // The pin programmer window while it is loaded, else null.
    frmDigi* mainWindow() const { return mainWindow_; }

    // Shown again, the dialog comes back where it was last (centred on the screen the first time), with the
    // resource text selected so that typing replaces it.
    void setVisible(bool visible) override;

private:
    void CmdSetIO_Click();
    void cmdCancel_Click();
    void ShowMainWindow();
    void ShowFindWindow();
    void ShowResourceMenu(const QPoint& position);
    void TakeFoundResource(const QString& resource);

    QPointer<frmDigi> mainWindow_;
    QPointer<FindInstrumentsWindow> findWindow_;
    std::optional<QPoint> lastPosition_;
};
