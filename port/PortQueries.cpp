#include "port/PortQueries.h"

#include "port/CommandText.h"
#include "port/ConversionError.h"
#include "port/NumberText.h"
#include "port/PinFunctionTable.h"
#include "port/PortRules.h"

#include <algorithm>

namespace PortQueries {
namespace {

void addPinQueries(std::vector<Query>& queries) {
    for (std::int16_t pin = 1; pin <= kPinCount; ++pin) {
        const std::string name = "pin " + std::to_string(pin);
        queries.push_back({name + " function", CommandText::pinFunctionQuery(pin)});
        queries.push_back({name + " polarity", CommandText::pinPolarityQuery(pin)});
    }
}

// The pins' replies from `first` on, into the set-up.
void fillPins(const std::vector<std::string>& replies, std::size_t first, PortSetup& setup) {
    for (std::size_t k = 0; k < setup.pins.size(); ++k) {
        auto& pin = setup.pins[k];
        if (auto name = PinFunctionTable::DisplayNameFor(replies.at(first + 2 * k)); !name.empty())
            pin.function = std::move(name);
        if (const auto polarity = polarityFromReply(replies.at(first + 2 * k + 1));
            polarity != Polarity::None)
            pin.polarity = polarity;
    }
}

} // namespace

std::vector<Query> pinQueries() {
    std::vector<Query> queries;
    addPinQueries(queries);
    return queries;
}

std::vector<Query> portQueries(bool withInput) {
    std::vector<Query> queries{{"output word", CommandText::kOutputDataQuery}};
    addPinQueries(queries);
    queries.push_back({"inhibit mode", CommandText::kInhibitModeQuery});
    if (withInput)
        queries.push_back({"input word", CommandText::kInputDataQuery});
    return queries;
}

std::string joined(const std::vector<Query>& queries) {
    std::string text;
    for (const auto& query : queries)
        text += (text.empty() ? "" : ";:") + query.text;
    return text;
}

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

std::optional<int> wordFrom(const std::string& reply) {
    try {
        const int word = ToInt16(reply, "The power supply's reply");
        if (PortRules::isOutputWord(word))
            return word;
    } catch (const ConversionError&) {
    }
    return std::nullopt;
}

PortReading readingFrom(const std::vector<std::string>& replies, bool withInput) {
    PortReading reading;
    reading.setup.outputWord = wordFrom(replies.at(0));
    fillPins(replies, 1, reading.setup);
    if (const auto mode = inhibitModeFromReply(replies.at(1 + 2 * kPinCount)); mode != InhibitMode::None)
        reading.setup.inhibitMode = mode;
    if (withInput)
        reading.inputWord = wordFrom(replies.at(2 + 2 * kPinCount));
    return reading;
}

TextTable pinFunctionsFrom(const std::vector<std::string>& replies) {
    PortSetup setup;
    fillPins(replies, 0, setup);
    return pinFunctions(setup);
}

} // namespace PortQueries
