#pragma once

// A connection dialog wired to an embedded simulated mainframe, with every message box answered.

#include "app/FrmIO.h"
#include "sim/Mainframe.h"
#include "simbackend/SimInstruments.h"
#include "tests/support/ModalBoxes.h"
#include "transport/TransportTimeouts.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

class GuiTest : public ::testing::Test {
protected:
    static constexpr unsigned kBoard = 6;

    void SetUp() override {
        transport::SetTimeoutsForTesting({std::chrono::milliseconds(1000), std::chrono::milliseconds(300)});
        mainframe().reset();
        dialog = std::make_unique<FrmIO>();
        dialog->ui.IOtxt->setText(QStringLiteral("SIM6::INSTR"));
        dialog->ui.chkRST->setChecked(false);
        dialog->show();
    }
    void TearDown() override {
        if (auto* window = dialog->mainWindow())
            delete window;
        dialog.reset();
        transport::SetTimeoutsForTesting({});
    }

    static sim::Mainframe& mainframe() { return simbackend::SimInstruments::board(kBoard); }
    static std::vector<std::string> received() { return mainframe().traffic().received(); }

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
