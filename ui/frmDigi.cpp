#include "ui/frmDigi.h"

#include "port/CouplingRule.h"
#include "port/InhibitMode.h"
#include "port/KorvaneMF.h"
#include "port/NumberText.h"
#include "port/OutputWord.h"
#include "port/Polarity.h"
#include "transport/SCPI_DCPS.h"
#include "transport/globals.h"
#include "ui/ChosenOptionFocus.h"
#include "ui/EnterPressesButton.h"
#include "ui/EventGuard.h"
#include "ui/MessageBox.h"

#include <QCloseEvent>
#include <QTimer>

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}
std::string Text(const QString& text) {
    return text.toStdString();
}

} // namespace

frmDigi::frmDigi(QWidget* connectionDialog, QWidget* parent)
    : QWidget(parent), connectionDialog_(connectionDialog) {
    ui.setupUi(this);
    // The controls sit at fixed positions, so the window keeps its size and offers no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    setWindowTitle(QStringLiteral("Digital Pin Programmer for Korvane Modular Power Mainframes"));
    // Unloading the window destroys it: every load starts from freshly created controls.
    setAttribute(Qt::WA_DeleteOnClose);

    pins_ = {{
        {ui.cmbPin1, ui.optPin1Pos, ui.optPin1Neg, ui.cmbPin1DIO},
        {ui.cmbPin2, ui.optPin2Pos, ui.optPin2Neg, ui.cmbPin2DIO},
        {ui.cmbPin3, ui.optPin3Pos, ui.optPin3Neg, ui.cmbPin3DIO},
        {ui.cmbPin4, ui.optPin4Pos, ui.optPin4Neg, ui.cmbPin4DIO},
        {ui.cmbPin5, ui.optPin5Pos, ui.optPin5Neg, ui.cmbPin5DIO},
        {ui.cmbPin6, ui.optPin6Pos, ui.optPin6Neg, ui.cmbPin6DIO},
        {ui.cmbPin7, ui.optPin7Pos, ui.optPin7Neg, ui.cmbPin7DIO},
    }};
    // Typed text is the user's choice for the next Set, exactly as typed: it must not grow the lists, and
    // no completer may finish it or swap it for an item that differs in letter case when focus leaves.
    for (const auto& pin : pins_) {
        for (auto* list : {pin.function, pin.outputBit}) {
            list->setInsertPolicy(QComboBox::NoInsert);
            list->setCompleter(nullptr);
        }
    }
    ChosenOptionFocus::InstallOn(this);
    EnterPressesButton::InstallOn(this);
    ConnectHandlers();
}

void frmDigi::ConnectHandlers() {
    const auto guarded = [this](void (frmDigi::*handler)()) {
        return [this, handler] {
            RunGuarded([&] { (this->*handler)(); });
        };
    };
    connect(ui.cmdPin1, &QPushButton::clicked, this, guarded(&frmDigi::cmdPin1_Click));
    connect(ui.cmdPin2, &QPushButton::clicked, this, guarded(&frmDigi::cmdPin2_Click));
    connect(ui.cmdPin3, &QPushButton::clicked, this, guarded(&frmDigi::cmdPin3_Click));
    connect(ui.cmdPin4, &QPushButton::clicked, this, guarded(&frmDigi::cmdPin4_Click));
    connect(ui.cmdPin5, &QPushButton::clicked, this, guarded(&frmDigi::cmdPin5_Click));
    connect(ui.cmdPin6, &QPushButton::clicked, this, guarded(&frmDigi::cmdPin6_Click));
    connect(ui.cmdPin7, &QPushButton::clicked, this, guarded(&frmDigi::cmdPin7_Click));
    connect(ui.cmdSetDIO, &QPushButton::clicked, this, guarded(&frmDigi::cmdSetDIO_Click));
    connect(ui.cmdDin, &QPushButton::clicked, this, guarded(&frmDigi::cmdDin_Click));
    connect(ui.cmdInhibit, &QPushButton::clicked, this, guarded(&frmDigi::cmdInhibit_Click));
    connect(ui.cmdConnect, &QPushButton::clicked, this, guarded(&frmDigi::cmdConnect_Click));
    connect(ui.cmdExit, &QPushButton::clicked, this, guarded(&frmDigi::cmdExit_Click));
}

const frmDigi::PinControls& frmDigi::Pin(std::int16_t pin) const {
    return pins_.at(static_cast<std::size_t>(pin - 1));
}

void frmDigi::LoadAndShow() {
    RunGuarded([this] { Form_Load(); });
    // A load stopped early would leave both pin 2 panels up, one drawn over the other; pin 1's list
    // decides which one shows, as it does after a complete load.
    ApplyFaultNoticeSwap();
    show();
    ui.cmbPin1->setFocus();
}

void frmDigi::Form_Load() {
    // Every query first, then the controls: a window half-written from two different moments of the
    // instrument would mislead.
    TextTable outputBits;
    KorvaneMF::GetOutputData(outputBits, globals::Session);
    KorvaneMF::ReadAllPins(PinFunction, PinPolarity, globals::Session);
    const std::string inhibit = KorvaneMF::GetInhibitMode(globals::Session);

    switch (inhibitModeFromReply(inhibit)) {
    case InhibitMode::Live:
        ui.optLive->setChecked(true);
        break;
    case InhibitMode::Latching:
        ui.optLatch->setChecked(true);
        break;
    case InhibitMode::Off:
        ui.optOff->setChecked(true);
        break;
    case InhibitMode::None:
        break;
    }

    for (std::int16_t pin = 1; pin <= kPinCount; ++pin) {
        const auto& controls = Pin(pin);
        controls.function->setEditText(Text(PinFunction[pin]));
        controls.outputBit->setEditText(Text(" " + outputBits[pin]));
        if (pin == 1)
            ApplyFaultNoticeSwap();
        if (polarityFromReply(PinPolarity[pin]) == Polarity::Positive)
            controls.positive->setChecked(true);
        else
            controls.negative->setChecked(true);
    }
}

void frmDigi::RunSetSequence(std::int16_t pin) {
    const auto& controls = Pin(pin);
    KorvaneMF::SetPinFunction(Text(controls.function->currentText()), pin, globals::Session);
    if (controls.positive->isChecked())
        KorvaneMF::SetPinPolarity(polarityWord(Polarity::Positive), pin, globals::Session);
    else if (controls.negative->isChecked())
        KorvaneMF::SetPinPolarity(polarityWord(Polarity::Negative), pin, globals::Session);
}

void frmDigi::ApplyFaultNoticeSwap() {
    if (ui.cmbPin1->currentText() == QLatin1String("Fault")) {
        ui.frmPin2->setVisible(false);
        ui.frmFault2->setVisible(true);
    } else {
        ui.frmPin2->setVisible(true);
        ui.frmFault2->setVisible(false);
    }
}

void frmDigi::cmdPin1_Click() {
    RunSetSequence(1);
    ApplyFaultNoticeSwap();
}

void frmDigi::cmdPin2_Click() {
    RunSetSequence(2);
}
void frmDigi::cmdPin3_Click() {
    RunSetSequence(3);
}
void frmDigi::cmdPin4_Click() {
    SetCouplingPin(4);
}
void frmDigi::cmdPin5_Click() {
    SetCouplingPin(5);
}
void frmDigi::cmdPin6_Click() {
    SetCouplingPin(6);
}
void frmDigi::cmdPin7_Click() {
    SetCouplingPin(7);
}

// Pins 4 to 7 may hold a coupling function, but each coupling function only on one of them; the
// instrument's present state decides, not the other lists.
void frmDigi::SetCouplingPin(std::int16_t pin) {
    const auto& controls = Pin(pin);
    const std::string function = Text(controls.function->currentText());
    if (CouplingRule::isCouplingFunction(function) && CheckPinUnique(pin, function) == 0) {
        controls.function->setEditText(Text(KorvaneMF::GetPinFunction(pin, globals::Session)));
        return;
    }
    RunSetSequence(pin);
}

std::int16_t frmDigi::CheckPinUnique(const std::int16_t& pin, const std::string& functionName) {
    KorvaneMF::ReadAllPins(PinFunction, PinPolarity, globals::Session);
    const auto holders = CouplingRule::pinsHolding(functionName, pin, PinFunction);
    for (const std::int16_t holder : holders)
        ShowMessage(CouplingRule::clashMessage(functionName, holder));
    return holders.empty() ? 1 : 0;
}

void frmDigi::cmdSetDIO_Click() {
    std::array<std::int16_t, kPinCount> digits{};
    for (std::int16_t pin = 1; pin <= kPinCount; ++pin)
        digits[static_cast<std::size_t>(pin - 1)] =
            ToInt16(Text(Pin(pin).outputBit->currentText()), "Pin " + std::to_string(pin) + "'s output bit");
    KorvaneMF::SetOutputData(std::to_string(outputWordFromDigits(digits)), globals::Session);
}

void frmDigi::cmdDin_Click() {
    ui.txtDin->setText(Text(KorvaneMF::GetInputData(globals::Session)));
}

void frmDigi::cmdInhibit_Click() {
    InhibitMode mode = InhibitMode::None;
    if (ui.optLive->isChecked())
        mode = InhibitMode::Live;
    else if (ui.optLatch->isChecked())
        mode = InhibitMode::Latching;
    else if (ui.optOff->isChecked())
        mode = InhibitMode::Off;
    KorvaneMF::SetInhibitMode(inhibitModeWord(mode), globals::Session);
}

void frmDigi::cmdConnect_Click() {
    // The session stays open: the dialog's next successful Set replaces it.
    if (connectionDialog_)
        connectionDialog_->show();
    Unload();
}

void frmDigi::cmdExit_Click() {
    SCPI_DCPS::CloseSession(globals::Session);
    Unload();
    if (connectionDialog_)
        connectionDialog_->close();
}

void frmDigi::Unload() {
    unloading_ = true;
    close();
}

void frmDigi::closeEvent(QCloseEvent* event) {
    if (unloading_) {
        event->accept();
        return;
    }
    // The title bar's close box does what Exit does; otherwise the hidden dialog would keep an
    // invisible program running. Exit closes the window itself once this close event is over.
    event->ignore();
    QTimer::singleShot(0, this, [this] { RunGuarded([this] { cmdExit_Click(); }); });
}
