#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace cli {

// The whole of pinwright-cli: arguments (without the program name) in, exit status out; results to out,
// messages to err.
int runCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

} // namespace cli
