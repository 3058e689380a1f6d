#pragma once

#include <span>
#include <string>

// The eight pin functions as the window names them and as the instrument's pin function command
// spells them. Matching is exact and case-sensitive in both directions; no match gives the empty text.
namespace PinFunctionTable {

struct Row {
    const char* displayName;
    const char* mnemonic;
};

// Every function, in the order of the window's lists.
std::span<const Row> Rows();

std::string MnemonicFor(const std::string& displayName);
std::string DisplayNameFor(const std::string& mnemonic);

} // namespace PinFunctionTable
