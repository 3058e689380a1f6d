#pragma once

#include <optional>
#include <string>
#include <vector>

// The window's command line: --help, --version, or one resource string that fills the connection
// dialog's text box in place of the default. Qt's own options (-platform ...) are taken out by
// QApplication before these are read.
struct WindowArguments {
    bool help = false;
    bool version = false;
    std::optional<std::string> resource;
    std::string error; // not empty: the command line is wrong, and this says why

    static WindowArguments parse(const std::vector<std::string>& arguments);
    static std::string usage();
};
