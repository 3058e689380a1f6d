#include "port/Polarity.h"

std::string polarityWord(Polarity polarity) {
    switch (polarity) {
    case Polarity::Positive:
        return "POS";
    case Polarity::Negative:
        return "NEG";
    case Polarity::None:
        break;
    }
    return {};
}

Polarity polarityFromReply(const std::string& reply) {
    if (reply == "POS")
        return Polarity::Positive;
    if (reply == "NEG")
        return Polarity::Negative;
    return Polarity::None;
}
