#pragma once

#include <cstdint>
#include <string>

// Reads a decimal number as the instrument's replies and the window's digit lists write it: blanks
// around it and a leading sign are accepted, a fractional part is rounded to the nearest whole
// number with halves going to the even neighbour. Throws ConversionError (naming `source`) for an
// empty or non-numeric text or a value outside -32768 to 32767.
std::int16_t ToInt16(const std::string& text, const std::string& source);
