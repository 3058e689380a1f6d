#include "port/PinFunctionTable.h"

#include <array>

namespace PinFunctionTable {
namespace {

// Order matters: both lookups take the first row that matches.
constexpr std::array<Row, 8> kRows{{
    {"Digital IO", "DIO"},
    {"Digital Input", "DINP"},
    {"Trigger Out", "TOUT"},
    {"Trigger In", "TINP"},
    {"Fault", "FAUL"},
    {"Inhibit", "INH"},
    {"On Couple", "ONC"},
    {"Off Couple", "OFFC"},
}};

} // namespace

std::span<const Row> Rows() {
    return kRows;
}

std::string MnemonicFor(const std::string& displayName) {
    for (const auto& row : kRows)
        if (displayName == row.displayName)
            return row.mnemonic;
    return {};
}

std::string DisplayNameFor(const std::string& mnemonic) {
    for (const auto& row : kRows)
        if (mnemonic == row.mnemonic)
            return row.displayName;
    return {};
}

} // namespace PinFunctionTable
