#pragma once

#include <string>

// The mainframe's inhibit mode as the window's three option buttons (and the command line) choose it,
// and the word the instrument's inhibit-mode command and query use for it.
enum class InhibitMode { None, Live, Latching, Off };

// "LIVE", "LATC", "OFF"; None gives the empty text, which the instrument refuses with an error.
std::string inhibitModeWord(InhibitMode mode);

// The mode whose word equals the reply exactly (case-sensitive, whole text); anything else is None.
InhibitMode inhibitModeFromReply(const std::string& reply);
