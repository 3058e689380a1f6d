#pragma once

#include <string>

// Shows one of the program's messages: a modal box titled "Pinwright" with an OK button only and no
// icon. The text is always plain text: instrument replies must never be rendered as markup.
// Returns once the user has acknowledged it.
void ShowMessage(const std::string& text);
