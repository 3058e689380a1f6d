#pragma once

#include "sim/ScpiError.h"

#include <array>
#include <optional>
#include <span>
#include <string_view>

namespace sim {

enum class PinFunction {
    DigitalIo,
    DigitalInput,
    TriggerOut,
    TriggerIn,
    Fault,
    Inhibit,
    OnCouple,
    OffCouple
};
enum class Polarity { Positive, Negative };
enum class InhibitMode { Live, Latching, Off };

// The parameter keywords, in enum order, long forms with the short form in capitals.
std::span<const std::string_view> pinFunctionKeywords();
std::span<const std::string_view> polarityKeywords();
std::span<const std::string_view> inhibitModeKeywords();

// The short upper-case word a query answers with ("DIO", "NEG", "LATC").
std::string_view wordFor(PinFunction function);
std::string_view wordFor(Polarity polarity);
std::string_view wordFor(InhibitMode mode);

// The digital control port: seven pins with a function and a polarity each, the output word, the
// inhibit mode and the levels the outside world drives onto the pins. Pin numbers are 1..7; words
// hold bit n-1 for pin n.
class PortModel {
public:
    static constexpr int kPinCount = 7;
    static constexpr int kMaxWord = (1 << kPinCount) - 1;

    // Only some pins have the hardware for some functions; asking for more is a settings conflict.
    std::optional<ScpiError> setFunction(int pin, PinFunction function);
    PinFunction function(int pin) const { return pins_.at(index(pin)).function; }

    void setPolarity(int pin, Polarity polarity) { pins_.at(index(pin)).polarity = polarity; }
    Polarity polarity(int pin) const { return pins_.at(index(pin)).polarity; }

    std::optional<ScpiError> setOutputWord(int word);
    int outputWord() const { return outputWord_; }

    // A DIO pin reads back what it drives; every other pin reads the external level.
    int inputWord() const;
    void setExternalLevels(int levels) { externalLevels_ = levels & kMaxWord; }
    int externalLevels() const { return externalLevels_; }

    void setInhibitMode(InhibitMode mode) { inhibitMode_ = mode; }
    InhibitMode inhibitMode() const { return inhibitMode_; }

    // *RST: the pin setup and the inhibit mode live in non-volatile memory and survive it.
    void resetVolatile() { outputWord_ = 0; }
    void restoreFactorySetup() { *this = PortModel{}; }

    // Whether a function may be given to a pin, the rule setFunction enforces.
    static bool allows(int pin, PinFunction function);

private:
    struct Pin {
        PinFunction function = PinFunction::DigitalIo;
        Polarity polarity = Polarity::Positive;
    };
    static std::size_t index(int pin) { return static_cast<std::size_t>(pin - 1); }

    std::array<Pin, kPinCount> pins_{};
    int outputWord_ = 0;
    int externalLevels_ = 0;
    InhibitMode inhibitMode_ = InhibitMode::Off;
};

} // namespace sim
