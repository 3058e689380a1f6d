#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace cli {

// The whole of pinwright-cli: arguments (without the program name) in, exit status out; results to out,
// messages to err. programPath is this program's executable, started once per resource when show or
// apply is given several.
int RunCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
           const std::string& programPath);

} // namespace cli
