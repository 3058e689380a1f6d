#include "sim/PortModel.h"

#include "sim/Keyword.h"

namespace sim {

namespace {

constexpr std::string_view kFunctionKeywords[] = {"DIO",   "DINPut",  "TOUTput",  "TINPut",
                                                  "FAULt", "INHibit", "ONCouple", "OFFCouple"};
constexpr std::string_view kPolarityKeywords[] = {"POSitive", "NEGative"};
constexpr std::string_view kInhibitModeKeywords[] = {"LIVE", "LATChing", "OFF"};

template <typename Enum, std::size_t N>
std::string_view shortWord(const std::string_view (&keywords)[N], Enum value) {
    return shortForm(keywords[static_cast<std::size_t>(value)]);
}

} // namespace

std::span<const std::string_view> pinFunctionKeywords() {
    return kFunctionKeywords;
}
std::span<const std::string_view> polarityKeywords() {
    return kPolarityKeywords;
}
std::span<const std::string_view> inhibitModeKeywords() {
    return kInhibitModeKeywords;
}

std::string_view wordFor(PinFunction function) {
    return shortWord(kFunctionKeywords, function);
}
std::string_view wordFor(Polarity polarity) {
    return shortWord(kPolarityKeywords, polarity);
}
std::string_view wordFor(InhibitMode mode) {
    return shortWord(kInhibitModeKeywords, mode);
}

bool PortModel::allows(int pin, PinFunction function) {
    switch (function) {
    case PinFunction::Fault:
        return pin == 1;
    case PinFunction::Inhibit:
        return pin == 3;
    case PinFunction::OnCouple:
    case PinFunction::OffCouple:
        return pin >= 4 && pin <= 7;
    default:
        return true;
    }
}

std::optional<ScpiError> PortModel::setFunction(int pin, PinFunction function) {
    if (!allows(pin, function)) {
        return errors::kSettingsConflict;
    }
    pins_.at(index(pin)).function = function;
    return std::nullopt;
}

std::optional<ScpiError> PortModel::setOutputWord(int word) {
    if (word < 0 || word > kMaxWord) {
        return errors::kDataOutOfRange;
    }
    outputWord_ = word;
    return std::nullopt;
}

int PortModel::inputWord() const {
    int word = 0;
    for (int pin = 1; pin <= kPinCount; ++pin) {
        const int bit = 1 << (pin - 1);
        const int source = function(pin) == PinFunction::DigitalIo ? outputWord_ : externalLevels_;
        word |= source & bit;
    }
    return word;
}

} // namespace sim
