#include "cli/BuiltinBoardCommand.h"

#include "cli/ExitStatus.h"
#include "simbackend/BoardStateFile.h"

#include <ostream>
#include <stdexcept>

namespace cli::BuiltinBoardCommand {

PreparedCommand prepareReset(const CliArguments&) {
    return {nullptr,
            [](std::ostream& out, std::ostream&) {
                const auto directory = simbackend::userStateDirectory();
                if (!directory) {
                    out << "nothing to reset: neither XDG_STATE_HOME nor HOME names a directory, so the "
                           "built-in mainframes keep no settings between calls\n";
                    return int(kSuccess);
                }
                try {
                    const std::size_t forgotten = simbackend::forgetBoards(*directory);
                    out << "the built-in mainframes are at their power-on state (" << forgotten
                        << (forgotten == 1 ? " saved set-up" : " saved set-ups") << " forgotten in "
                        << directory->string() << ")\n";
                } catch (const std::runtime_error& error) {
                    // A file of this machine, not an instrument, is what stood in the way.
                    throw CliFailure(kUsageError,
                                     std::string("pinwright-cli: reset-builtin: ") + error.what());
                }
                return int(kSuccess);
            },
            false};
}

} // namespace cli::BuiltinBoardCommand
