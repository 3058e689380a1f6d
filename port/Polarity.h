#pragma once

#include <string>

// A pin's polarity as the window's option buttons (and the command line) choose it, and the word the
// instrument's polarity command and query use for it. None stands for a reply that is neither word.
enum class Polarity { None, Positive, Negative };

// "POS", "NEG"; None gives the empty text, which the instrument refuses with an error.
std::string polarityWord(Polarity polarity);

// The polarity whose word equals the reply exactly (case-sensitive, whole text); anything else is None.
Polarity polarityFromReply(const std::string& reply);
