#include "sim/CommandSet.h"

#include "sim/ProgramData.h"

#include <functional>
#include <utility>

namespace sim {

namespace {

constexpr SuffixRange kPins{1, PortModel::kPinCount};

Outcome done() {
    return Outcome{};
}

// A query's answer: the keyword of a setting.
template <typename Setting> Outcome answeredKeyword(Setting setting) {
    return Outcome::answered(std::string(wordFor(setting)));
}

// A setting's outcome: the error the port refused it with, if any.
Outcome settled(const std::optional<ScpiError>& refusal) {
    return Outcome{refusal, {}};
}

// A parameter that does not parse is the command's error; one that does goes to apply.
template <typename T, typename Apply> Outcome withParsed(const Parsed<T>& parsed, Apply apply) {
    return parsed.error ? Outcome::failed(*parsed.error) : apply(parsed.value);
}

// A command without parameters that cannot fail, such as *RST, and its query if it has one.
void addAction(CommandTable& table, std::string_view pattern, std::function<void()> action,
               Handler query = nullptr) {
    table.add(
        pattern,
        [action = std::move(action)](const Invocation&) {
            action();
            return done();
        },
        std::move(query), 0);
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
    addAction(table_, "*RST", [&s] { s.port.resetVolatile(); });
    addAction(table_, "*CLS", [&s] {
        s.errors.clear();
        s.eventStatus.clear();
    });
    // Every command completes before the next is parsed, so operation complete is immediate.
    addAction(
        table_, "*OPC", [&s] { s.eventStatus.setOperationComplete(); },
        [](const Invocation&) { return Outcome::answered("1"); });
    addAction(table_, "*WAI", [] {});
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
            return withParsed(parseKeyword(call.parameter, pinFunctionKeywords()), [&](std::size_t function) {
                return settled(port.setFunction(call.suffix, static_cast<PinFunction>(function)));
            });
        },
        [&port](const Invocation& call) { return answeredKeyword(port.function(call.suffix)); }, 1, kPins);
    table_.add(
        "[SOURce]:DIGital:PIN#:POLarity",
        [&port](const Invocation& call) {
            return withParsed(parseKeyword(call.parameter, polarityKeywords()), [&](std::size_t polarity) {
                port.setPolarity(call.suffix, static_cast<Polarity>(polarity));
                return done();
            });
        },
        [&port](const Invocation& call) { return answeredKeyword(port.polarity(call.suffix)); }, 1, kPins);
    table_.add(
        "[SOURce]:DIGital:OUTPut:DATA",
        [&port](const Invocation& call) {
            return withParsed(parseInteger(call.parameter, 0, PortModel::kMaxWord),
                              [&](int word) { return settled(port.setOutputWord(word)); });
        },
        [&port](const Invocation&) { return Outcome::answered(signedDecimal(port.outputWord())); });
    table_.add("[SOURce]:DIGital:INPut:DATA", nullptr,
               [&port](const Invocation&) { return Outcome::answered(signedDecimal(port.inputWord())); });
    table_.add(
        "OUTPut:INHibit:MODE",
        [&port](const Invocation& call) {
            return withParsed(parseKeyword(call.parameter, inhibitModeKeywords()), [&](std::size_t mode) {
                port.setInhibitMode(static_cast<InhibitMode>(mode));
                return done();
            });
        },
        [&port](const Invocation&) { return answeredKeyword(port.inhibitMode()); });
}

void CommandSet::addSystemCommands() {
    auto& errors = state_.errors;
    table_.add("SYSTem:ERRor[:NEXT]", nullptr,
               [&errors](const Invocation&) { return Outcome::answered(errorText(errors.pop())); });
}

} // namespace sim
