#include "port/Polarity.h"

#include "base/WordTable.h"

namespace {

constexpr base::WordTable<Polarity, 2> kWords{Polarity::None,
                                              {{{Polarity::Positive, "POS"}, {Polarity::Negative, "NEG"}}}};

} // namespace

std::string polarityWord(Polarity polarity) {
    return kWords.wordFor(polarity);
}

Polarity polarityFromReply(const std::string& reply) {
    return kWords.valueFor(reply);
}
