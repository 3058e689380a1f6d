#pragma once

// A connection dialog wired to an embedded simulated mainframe, with every message box answered.

#include "app/FrmIO.h"
#include "tests/support/InstrumentFixture.h"
#include "tests/support/ModalBoxes.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

class GuiTest : public InstrumentFixture<6> {
protected:
    void SetUp() override {
        InstrumentFixture::SetUp();
        dialog = std::make_unique<FrmIO>();
        dialog->ui.IOtxt->setText(QStringLiteral("SIM6::INSTR"));
        dialog->ui.chkRST->setChecked(false);
        dialog->show();
    }
    void TearDown() override {
        if (auto* window = dialog->mainWindow())
            delete window;
        dialog.reset();
        InstrumentFixture::TearDown();
    }

    static void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    // Lets deferred deletes and posted events run, as the event loop would between user actions.
    static void Settle() {
        for (int round = 0; round < 3; ++round) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    // Connects through the dialog and returns the loaded main window; the set-up traffic and messages
    // are forgotten.
    frmDigi& Connect() {
        Click(dialog->ui.CmdSetIO);
        auto* window = dialog->mainWindow();
        if (window == nullptr)
            throw std::runtime_error("the main window did not open");
        boxes.clear();
        mainframe().traffic().clear();
        return *window;
    }

    ModalBoxes boxes;
    std::unique_ptr<FrmIO> dialog;
};
