#pragma once

// The pin programmer window. It shows the instrument's digital port as read when the window loads and
// writes a change back only when the user presses the matching Set button. Every handler runs through
// the event guard; all instrument traffic goes through the command set with the one global session.

#include "port/PortFacts.h"
#include "port/TextTable.h"
#include "ui_frmDigi.h"

#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <string>

class QCloseEvent;

class frmDigi : public QWidget {
    Q_OBJECT

public:
    explicit frmDigi(QWidget* connectionDialog, QWidget* parent = nullptr);

    // Reads the instrument into the controls, then shows the window. A load stopped by an error is
    // reported and the window still opens, with what was not read left empty.
    void LoadAndShow();

    Ui::frmDigi ui;

    // The instrument's pin functions (display names) and polarity replies as last read, pins 1 to 7.
    TextTable PinFunction;
    TextTable PinPolarity;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct PinControls {
        QComboBox* function;
        QRadioButton* positive;
        QRadioButton* negative;
        QComboBox* outputBit;
    };

    void Form_Load();
    void cmdPin1_Click();
    void cmdPin2_Click();
    void cmdPin3_Click();
    void cmdPin4_Click();
    void cmdPin5_Click();
    void cmdPin6_Click();
    void cmdPin7_Click();
    void cmdSetDIO_Click();
    void cmdDin_Click();
    void cmdInhibit_Click();
    void cmdConnect_Click();
    void cmdExit_Click();

    void ConnectHandlers();
    const PinControls& Pin(std::int16_t pin) const;
    void RunSetSequence(std::int16_t pin);
    void SetCouplingPin(std::int16_t pin);
    std::int16_t CheckPinUnique(const std::int16_t& pin, const std::string& functionName);
    void ApplyFaultNoticeSwap();
    void Unload();

    QPointer<QWidget> connectionDialog_;
    std::array<PinControls, kPinCount> pins_{};
    bool unloading_ = false;
};
