#include "port/KorvaneMF.h"

#include "port/CommandText.h"
#include "port/NumberText.h"
#include "port/PinFunctionTable.h"
#include "port/PortFacts.h"
#include "transport/SCPI_DCPS.h"

namespace KorvaneMF {
namespace {

constexpr const char* kReplySource = "The power supply's reply";

} // namespace

std::string GetPinFunction(const std::int16_t& pin, InstrumentSession& session) {
    return PinFunctionTable::DisplayNameFor(
        SCPI_DCPS::SendQuery(CommandText::pinFunctionQuery(pin), session));
}

void ReadAllPins(TextTable& functions, TextTable& polarities, InstrumentSession& session) {
    functions.resize(kPinCount);
    polarities.resize(kPinCount);
    for (std::int16_t pin = 1; pin <= kPinCount; ++pin) {
        functions[pin] = GetPinFunction(pin, session);
        polarities[pin] = GetPinPolarity(pin, session);
    }
}

void SetPinFunction(const std::string& displayName, const std::int16_t& pin, InstrumentSession& session) {
    SCPI_DCPS::SendCommand(CommandText::pinFunction(displayName, pin), session);
}

std::string GetPinPolarity(const std::int16_t& pin, InstrumentSession& session) {
    return SCPI_DCPS::SendQuery(CommandText::pinPolarityQuery(pin), session);
}

void SetPinPolarity(const std::string& polarity, const std::int16_t& pin, InstrumentSession& session) {
    SCPI_DCPS::SendCommand(CommandText::pinPolarity(polarity, pin), session);
}

void NumberToBits(const std::string& number, const std::int16_t& count, TextTable& bits) {
    int word = ToInt16(number, kReplySource);
    bits.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    for (std::int16_t k = 1; k <= count; ++k) {
        bits[k] = (word % 2 != 0) ? "1" : "0";
        word /= 2; // truncates toward zero, so a negative word gives the digits of its magnitude
    }
}

void GetOutputData(TextTable& bits, InstrumentSession& session) {
    NumberToBits(SCPI_DCPS::SendQuery(CommandText::kOutputDataQuery, session), kPinCount, bits);
}

std::string GetInputData(InstrumentSession& session) {
    TextTable bits;
    NumberToBits(SCPI_DCPS::SendQuery(CommandText::kInputDataQuery, session), kPinCount, bits);
    std::string text;
    for (std::int16_t pin = kPinCount; pin >= 1; --pin)
        text += bits[pin];
    return text;
}

void SetOutputData(const std::string& number, InstrumentSession& session) {
    SCPI_DCPS::SendCommand(CommandText::outputData(number), session);
}

std::string GetInhibitMode(InstrumentSession& session) {
    return SCPI_DCPS::SendQuery(CommandText::kInhibitModeQuery, session);
}

void SetInhibitMode(const std::string& mode, InstrumentSession& session) {
    SCPI_DCPS::SendCommand(CommandText::inhibitMode(mode), session);
}

} // namespace KorvaneMF
