#include "port/PortReader.h"

#include "base/PrintableText.h"
#include "port/CommandText.h"
#include "port/PortQueries.h"
#include "port/PortSession.h"

namespace {

struct Replies {
    std::vector<std::string> fields;
    bool joined = false;
};

// Every reply, asked in one program message, which spares a round trip per setting. When that fails or
// does not give one field per query, the queries are asked one by one, so that a failure names its own
// step and an instrument that refuses the joined form is still read; it is not sent joined messages again.
Replies askAll(PortSession& instrument, const std::string& step,
               const std::vector<PortQueries::Query>& queries) {
    if (instrument.takesJoinedMessages()) {
        try {
            if (auto fields = PortQueries::fieldsOf(instrument.query(step, PortQueries::joined(queries)),
                                                    queries.size()))
                return {std::move(*fields), true};
            // Answered in part: the instrument queued an error for what it did not take, which the next
            // step would read as its own. (A query with no answer at all has had its errors read.)
            instrument.discardErrors();
        } catch (const PortFailure& failure) {
            if (failure.cause() != PortFailure::Cause::InstrumentError)
                throw;
        }
        instrument.noteJoinedMessagesRefused();
    }
    Replies replies;
    for (const auto& query : queries)
        replies.fields.push_back(instrument.query(query.setting, query.text));
    return replies;
}

} // namespace

PortReading readPort(PortSession& instrument, bool withInput) {
    const auto replies = askAll(instrument, "reading the port", PortQueries::portQueries(withInput));
    PortReading reading = PortQueries::readingFrom(replies.fields, withInput);
    reading.joined = replies.joined;
    return reading;
}

TextTable readPinFunctions(PortSession& instrument) {
    return PortQueries::pinFunctionsFrom(
        askAll(instrument, "reading the pins", PortQueries::pinQueries()).fields);
}

std::string portQueryText(bool withInput) {
    return PortQueries::joined(PortQueries::portQueries(withInput));
}

std::optional<PortReading> portReadingFrom(const std::string& reply, bool withInput) {
    const auto fields = PortQueries::fieldsOf(reply, PortQueries::portQueries(withInput).size());
    if (!fields)
        return std::nullopt;
    PortReading reading = PortQueries::readingFrom(*fields, withInput);
    reading.joined = true;
    return reading;
}

std::string pinsQueryText() {
    return PortQueries::joined(PortQueries::pinQueries());
}

std::optional<TextTable> pinFunctionsFrom(const std::string& reply) {
    const auto fields = PortQueries::fieldsOf(reply, PortQueries::pinQueries().size());
    if (!fields)
        return std::nullopt;
    return PortQueries::pinFunctionsFrom(*fields);
}

int readInputWord(PortSession& instrument) {
    const std::string reply = instrument.query("input word", CommandText::kInputDataQuery);
    const auto word = PortQueries::wordFrom(reply);
    if (!word)
        instrument.fail(PortFailure::Cause::Unreachable, "input word",
                        "the reply \"" + base::printableText(reply, 80, base::Unprintable::HexEscape) +
                            "\" is not a word of the port (0 to 127)");
    return *word;
}
