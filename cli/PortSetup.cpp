#include "cli/PortSetup.h"

#include "base/WordTable.h"
#include "cli/CliInstrument.h"
#include "cli/ExitStatus.h"
#include "port/CommandText.h"
#include "port/ConversionError.h"
#include "port/KorvaneMF.h"
#include "port/PinFunctionTable.h"

#include <algorithm>
#include <vector>

namespace cli {

namespace {

constexpr base::WordTable<Polarity, 2> kPolarityNames{
    Polarity::None, {{{Polarity::Positive, "positive"}, {Polarity::Negative, "negative"}}}};
constexpr base::WordTable<InhibitMode, 3> kInhibitModeNames{
    InhibitMode::None,
    {{{InhibitMode::Live, "live"}, {InhibitMode::Latching, "latching"}, {InhibitMode::Off, "off"}}}};

// A value by the command line's name for it or by the instrument's word.
template <typename Value, std::size_t N>
std::optional<Value> fromNameOrWord(const base::WordTable<Value, N>& names,
                                    Value (*fromWord)(const std::string&), const std::string& text) {
    for (const Value value : {names.valueFor(text), fromWord(text)})
        if (value != Value::None)
            return value;
    return std::nullopt;
}

// Seven digits, pin 7 first, of the word in a reply.
std::string bitsOfReply(CliInstrument& instrument, const std::string& step, const std::string& reply) {
    TextTable bits;
    try {
        KorvaneMF::NumberToBits(reply, kPinCount, bits);
    } catch (const ConversionError& error) {
        instrument.fail(kInstrumentError, step, error.what());
    }
    std::string text;
    for (std::int16_t pin = kPinCount; pin >= 1; --pin)
        text += bits[pin];
    return text;
}

struct PortQuery {
    std::string step;
    std::string text;
};

std::string joinedText(const std::vector<PortQuery>& queries) {
    std::string joined;
    for (const auto& query : queries)
        joined += (joined.empty() ? "" : ";:") + query.text;
    return joined;
}

// The fields of a joined reply, when it holds exactly `count`.
std::optional<std::vector<std::string>> fieldsOf(const std::string& reply, std::size_t count) {
    std::vector<std::string> fields;
    for (std::size_t start = 0; fields.size() <= count;) {
        const std::size_t end = std::min(reply.find(';', start), reply.size());
        fields.push_back(reply.substr(start, end - start));
        if (end == reply.size())
            break;
        start = end + 1;
    }
    if (fields.size() != count)
        return std::nullopt;
    return fields;
}

struct Replies {
    std::vector<std::string> fields;
    bool joined = false;
};

// Every reply, asked in one program message (the queries joined by ";:", each from the root of the
// command tree, answered as one reply joined by ";"), which spares a round trip per setting. When that
// fails or does not give one field per query, the queries are asked one by one, so that a failure
// names its own step and an instrument that refuses the joined form is still read; it is not sent
// joined messages again.
Replies askAll(CliInstrument& instrument, const std::string& step, const std::vector<PortQuery>& queries) {
    if (instrument.takesJoinedMessages()) {
        try {
            if (auto fields = fieldsOf(instrument.query(step, joinedText(queries)), queries.size()))
                return {std::move(*fields), true};
            // Answered in part: the instrument queued an error for what it did not take, which the next
            // step would read as its own. (A query with no answer at all has had its errors read.)
            instrument.discardErrors();
        } catch (const CliFailure& failure) {
            if (failure.status() == kUnreachable)
                throw;
        }
        instrument.noteJoinedMessagesRefused();
    }
    Replies replies;
    for (const auto& query : queries)
        replies.fields.push_back(instrument.query(query.step, query.text));
    return replies;
}

void addPinQueries(std::vector<PortQuery>& queries) {
    for (std::int16_t pin = 1; pin <= kPinCount; ++pin) {
        const std::string name = "pin " + std::to_string(pin);
        queries.push_back({name + " function", CommandText::pinHeader(pin) + ":FUNC?"});
        queries.push_back({name + " polarity", CommandText::pinHeader(pin) + ":POL?"});
    }
}

// The pins' replies from `first` on, as the window's tables hold them: display names, polarity words.
void fillPins(const std::vector<std::string>& replies, std::size_t first, TextTable& functions,
              TextTable& polarities) {
    functions.resize(kPinCount);
    polarities.resize(kPinCount);
    for (std::size_t pin = 1; pin <= static_cast<std::size_t>(kPinCount); ++pin) {
        functions[pin] = PinFunctionTable::DisplayNameFor(replies[first + 2 * (pin - 1)]);
        polarities[pin] = replies[first + 2 * (pin - 1) + 1];
    }
}

std::vector<PortQuery> pinQueries() {
    std::vector<PortQuery> queries;
    addPinQueries(queries);
    return queries;
}

std::vector<PortQuery> portQueries(bool withInput) {
    std::vector<PortQuery> queries{{"output word", "DIG:OUTP:DATA?"}};
    addPinQueries(queries);
    queries.push_back({"inhibit mode", "OUTP:INH:MODE?"});
    if (withInput)
        queries.push_back({"input word", "DIG:INP:DATA?"});
    return queries;
}

PortReading readingFrom(CliInstrument& instrument, const std::vector<PortQuery>& queries,
                        const std::vector<std::string>& replies, bool withInput) {
    PortReading reading;
    reading.outputBits = bitsOfReply(instrument, queries.front().step, replies.front());
    reading.setup.outputWord = wordFromBits(reading.outputBits);
    TextTable functions;
    TextTable polarities;
    fillPins(replies, 1, functions, polarities);
    for (std::int16_t pin = 1; pin <= kPinCount; ++pin) {
        auto& setup = reading.setup.pins[static_cast<std::size_t>(pin - 1)];
        if (!functions[pin].empty())
            setup.function = functions[pin];
        if (const auto polarity = polarityFromReply(polarities[pin]); polarity != Polarity::None)
            setup.polarity = polarity;
    }
    if (const auto mode = inhibitModeFromReply(replies[1 + 2 * kPinCount]); mode != InhibitMode::None)
        reading.setup.inhibitMode = mode;
    if (withInput)
        reading.inputBits = bitsOfReply(instrument, queries.back().step, replies.back());
    return reading;
}

} // namespace

void readPins(CliInstrument& instrument, TextTable& functions, TextTable& polarities) {
    fillPins(askAll(instrument, "reading the pins", pinQueries()).fields, 0, functions, polarities);
}

std::string pinsQueryText() {
    return joinedText(pinQueries());
}

std::optional<TextTable> pinFunctionsFrom(const std::string& reply) {
    const auto fields = fieldsOf(reply, pinQueries().size());
    if (!fields)
        return std::nullopt;
    TextTable functions;
    TextTable polarities;
    fillPins(*fields, 0, functions, polarities);
    return functions;
}

std::string readInputBits(CliInstrument& instrument) {
    return bitsOfReply(instrument, "input word", instrument.query("input word", "DIG:INP:DATA?"));
}

PortReading readPort(CliInstrument& instrument, bool withInput) {
    const auto queries = portQueries(withInput);
    const auto replies = askAll(instrument, "reading the port", queries);
    PortReading reading = readingFrom(instrument, queries, replies.fields, withInput);
    reading.joined = replies.joined;
    return reading;
}

std::string portQueryText(bool withInput) {
    return joinedText(portQueries(withInput));
}

std::optional<PortReading> portReadingFrom(CliInstrument& instrument, const std::string& reply,
                                           bool withInput) {
    const auto queries = portQueries(withInput);
    const auto fields = fieldsOf(reply, queries.size());
    if (!fields)
        return std::nullopt;
    PortReading reading = readingFrom(instrument, queries, *fields, withInput);
    reading.joined = true;
    return reading;
}

int wordFromBits(const std::string& bitsPin7First) {
    int word = 0;
    for (const char bit : bitsPin7First)
        word = word * 2 + (bit == '1' ? 1 : 0);
    return word;
}

std::string polarityName(Polarity polarity) {
    return kPolarityNames.wordFor(polarity);
}

std::optional<Polarity> polarityFromName(const std::string& name) {
    return fromNameOrWord(kPolarityNames, polarityFromReply, name);
}

std::string inhibitModeName(InhibitMode mode) {
    return kInhibitModeNames.wordFor(mode);
}

std::optional<InhibitMode> inhibitModeFromName(const std::string& name) {
    return fromNameOrWord(kInhibitModeNames, inhibitModeFromReply, name);
}

std::optional<std::string> functionFromName(const std::string& name) {
    if (!PinFunctionTable::MnemonicFor(name).empty())
        return name;
    if (const auto displayName = PinFunctionTable::DisplayNameFor(name); !displayName.empty())
        return displayName;
    return std::nullopt;
}

} // namespace cli
