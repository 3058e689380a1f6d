#include "base/PrintableText.h"

namespace base {

std::string printableText(std::string_view text, std::size_t maxChars, Unprintable replacement) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text.substr(0, maxChars)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            out += c;
            continue;
        }
        switch (replacement) {
        case Unprintable::Question:
            out += '?';
            break;
        case Unprintable::Blank:
            out += ' ';
            break;
        case Unprintable::HexEscape:
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
            break;
        }
    }
    return out;
}

} // namespace base
