#pragma once

// The queries that read the port, in the window's load order (the output word, each pin's function and
// polarity, the inhibit mode, then the input word when asked), each with the setting it reads, and what
// their replies say. Asked one by one or joined into one program message ("Q1;:Q2;:..."), which an
// instrument answers with one reply whose fields are joined by ';'.

#include "port/PortSetup.h"

#include <optional>
#include <string>
#include <vector>

namespace PortQueries {

struct Query {
    std::string setting; // "pin 5 function", as messages name it
    std::string text;
};

std::vector<Query> portQueries(bool withInput);
std::vector<Query> pinQueries(); // the pins' only: function and polarity of pin 1, then pin 2, ...

std::string joined(const std::vector<Query>& queries);
// The fields of a joined reply, when it holds exactly `count`.
std::optional<std::vector<std::string>> fieldsOf(const std::string& reply, std::size_t count);

// What the replies of portQueries(withInput), in order, say; a reply in no known form leaves its value
// unset.
PortReading readingFrom(const std::vector<std::string>& replies, bool withInput);
// What the replies of pinQueries() say about the pins' functions: display names, pin 1 first, empty
// where unknown.
TextTable pinFunctionsFrom(const std::vector<std::string>& replies);
// A word reply (output or input) in the port's range, or nothing.
std::optional<int> wordFrom(const std::string& reply);

} // namespace PortQueries
