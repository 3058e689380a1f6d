#include "sim/CommandSet.h"

#include "sim/ProgramData.h"

namespace sim {

namespace {

constexpr SuffixRange kPins{1, PortModel::kPinCount};

Outcome done() {
    return Outcome{};
}

} // namespace

CommandSet::CommandSet(InstrumentState& state, std::string identity)
    : state_(state), identity_(std::move(identity)) {
    addCommonCommands();
    addPortCommands();
    addSystemCommands();
}

std::string CommandSet::signedDecimal(int value) {
    return (value >= 0 ? "+" : "") + std::to_string(value);
}

std::string CommandSet::errorText(const ScpiError& error) {
    return signedDecimal(error.code) + ",\"" + std::string(error.text) + "\"";
}

void CommandSet::addCommonCommands() {
    auto& s = state_;
    table_.add("*IDN", nullptr, [this](const Invocation&) { return Outcome::answered(identity_); });
    table_.add(
        "*RST",
        [&s](const Invocation&) {
            s.port.resetVolatile();
            return done();
        },
        nullptr, 0);
    table_.add(
        "*CLS",
        [&s](const Invocation&) {
            s.errors.clear();
            s.eventStatus.clear();
            return done();
        },
        nullptr, 0);
    // Every command completes before the next is parsed, so operation complete is immediate.
    table_.add(
        "*OPC",
        [&s](const Invocation&) {
            s.eventStatus.setOperationComplete();
            return done();
        },
        [](const Invocation&) { return Outcome::answered("1"); }, 0);
    table_.add(
        "*WAI", [](const Invocation&) { return done(); }, nullptr, 0);
    table_.add("*ESR", nullptr,
               [&s](const Invocation&) { return Outcome::answered(signedDecimal(s.eventStatus.take())); });
    // Only the error-available bit is modelled: no service requests, and the output queue is always
    // empty while a message is being parsed.
    table_.add("*STB", nullptr, [&s](const Invocation&) {
        constexpr int kErrorAvailable = 1 << 2;
        return Outcome::answered(signedDecimal(s.errors.empty() ? 0 : kErrorAvailable));
    });
}

void CommandSet::addPortCommands() {
    auto& port = state_.port;
    table_.add(
        "[SOURce]:DIGital:PIN#:FUNCtion",
        [&port](const Invocation& call) {
            const auto function = parseKeyword(call.parameter, pinFunctionKeywords());
            if (function.error) {
                return Outcome::failed(*function.error);
            }
            const auto error = port.setFunction(call.suffix, static_cast<PinFunction>(function.value));
            return error ? Outcome::failed(*error) : done();
        },
        [&port](const Invocation& call) {
            return Outcome::answered(std::string(wordFor(port.function(call.suffix))));
        },
        1, kPins);
    table_.add(
        "[SOURce]:DIGital:PIN#:POLarity",
        [&port](const Invocation& call) {
            const auto polarity = parseKeyword(call.parameter, polarityKeywords());
            if (polarity.error) {
                return Outcome::failed(*polarity.error);
            }
            port.setPolarity(call.suffix, static_cast<Polarity>(polarity.value));
            return done();
        },
        [&port](const Invocation& call) {
            return Outcome::answered(std::string(wordFor(port.polarity(call.suffix))));
        },
        1, kPins);
    table_.add(
        "[SOURce]:DIGital:OUTPut:DATA",
        [&port](const Invocation& call) {
            const auto word = parseInteger(call.parameter, 0, PortModel::kMaxWord);
            if (word.error) {
                return Outcome::failed(*word.error);
            }
            const auto error = port.setOutputWord(word.value);
            return error ? Outcome::failed(*error) : done();
        },
        [&port](const Invocation&) { return Outcome::answered(signedDecimal(port.outputWord())); });
    table_.add("[SOURce]:DIGital:INPut:DATA", nullptr,
               [&port](const Invocation&) { return Outcome::answered(signedDecimal(port.inputWord())); });
    table_.add(
        "OUTPut:INHibit:MODE",
        [&port](const Invocation& call) {
            const auto mode = parseKeyword(call.parameter, inhibitModeKeywords());
            if (mode.error) {
                return Outcome::failed(*mode.error);
            }
            port.setInhibitMode(static_cast<InhibitMode>(mode.value));
            return done();
        },
        [&port](const Invocation&) { return Outcome::answered(std::string(wordFor(port.inhibitMode()))); });
}

void CommandSet::addSystemCommands() {
    auto& errors = state_.errors;
    table_.add("SYSTem:ERRor[:NEXT]", nullptr,
               [&errors](const Invocation&) { return Outcome::answered(errorText(errors.pop())); });
}

} // namespace sim
