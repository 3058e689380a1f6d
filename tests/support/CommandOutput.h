#pragma once

#include <string>

// Everything a shell command writes to its standard output, once it has ended. Throws std::runtime_error
// when the shell cannot be started. The caller bounds the command's run time (with `timeout`) and adds
// "2>&1" where its errors should be seen too.
std::string commandOutput(const std::string& command);
