#include "port/OutputWord.h"

#include "port/OutputWordOverflow.h"

#include <cstddef>

std::int16_t outputWordFromDigits(const std::array<std::int16_t, kPinCount>& digitsPin1First) {
    long word = 0;
    for (std::size_t k = 0; k < digitsPin1First.size(); ++k)
        word += static_cast<long>(digitsPin1First[k]) * (1L << k);
    if (word < -32768 || word > 32767)
        throw OutputWordOverflow(word);
    return static_cast<std::int16_t>(word);
}
