#include "cli/CliMain.h"

#include "base/ProgramVersion.h"
#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/FindCommand.h"
#include "cli/ParallelRun.h"
#include "transport/TransportTimeouts.h"
#include "visa/ResourceManager.h"

#include <chrono>
#include <cstdlib>

namespace cli {
namespace {

// The trace stays on for this run only: a test may run the tool several times in one process.
class TraceForThisRun {
public:
    TraceForThisRun(bool toStandardError, const char* file) {
        if (toStandardError)
            visa::ResourceManager::setTraceLog(visa::TraceLog::toStandardError());
        else if (file != nullptr && *file != '\0')
            visa::ResourceManager::setTraceLog(visa::TraceLog::openFile(file));
    }
    ~TraceForThisRun() { visa::ResourceManager::setTraceLog(nullptr); }
    TraceForThisRun(const TraceForThisRun&) = delete;
    TraceForThisRun& operator=(const TraceForThisRun&) = delete;
};

int runParsed(const CliArguments& arguments, std::ostream& out, std::ostream& err) {
    if (arguments.command == "find") {
        TraceForThisRun trace(arguments.trace, std::getenv("PINWRIGHT_TRACE"));
        return runFindCommand({arguments.json,
                               arguments.timeoutGiven ? std::chrono::milliseconds(arguments.timeoutMs)
                                                      : FindCommandOptions{}.window,
                               !arguments.noIdentify},
                              out, err);
    }
    const CommandAction action = prepareCommand(arguments);
    transport::SetTimeouts({std::chrono::milliseconds(2000), std::chrono::milliseconds(arguments.timeoutMs)});
    TraceForThisRun trace(arguments.trace, std::getenv("PINWRIGHT_TRACE"));
    if (arguments.resources.size() > 1)
        return runForEachResource(action, arguments, out, err);
    return runOnResource(action, arguments, arguments.resources.front(), out, err);
}

} // namespace

int runCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    int status = kSuccess;
    try {
        const auto parsed = CliArguments::parse(arguments, std::getenv("PINWRIGHT_RESOURCE"));
        if (parsed.help) {
            out << cliUsage();
        } else if (parsed.version) {
            out << "pinwright-cli " << kProgramVersion << '\n';
        } else {
            status = runParsed(parsed, out, err);
        }
    } catch (const CliFailure& failure) {
        err << failure.what() << '\n';
        status = failure.status();
    } catch (const std::exception& error) {
        err << "pinwright-cli: " << error.what() << '\n';
        status = kInstrumentError;
    }
    out.flush();
    err.flush();
    return status;
}

} // namespace cli
