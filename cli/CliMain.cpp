#include "cli/CliMain.h"

#include "base/ProgramVersion.h"
#include "cli/CliArguments.h"
#include "cli/CommandTable.h"
#include "cli/ExitStatus.h"
#include "cli/ParallelRun.h"
#include "visa/TraceLog.h"

#include <QtGlobal>
#include <cstdlib>

namespace cli {
namespace {

// The trace belongs to this run alone: a test may run the tool several times in one process, some of them
// at once, each with a trace of its own or none.
std::shared_ptr<visa::TraceLog> traceForThisRun(bool toStandardError, const char* file) {
    if (toStandardError)
        return visa::TraceLog::toStandardError();
    if (file == nullptr || *file == '\0')
        return nullptr;
    // A trace file that cannot be written is the user's to fix, as a wrong command line is.
    try {
        return visa::TraceLog::openFile(file);
    } catch (const std::exception& failure) {
        usageError(failure.what());
    }
}

int runParsed(const CliArguments& arguments, std::ostream& out, std::ostream& err) {
    PreparedCommand prepared;
    try {
        prepared = arguments.command->prepare(arguments);
    } catch (const CliFailure& refusal) {
        if (arguments.json && !arguments.resources.empty())
            printRefusedReports(arguments, refusal, out);
        throw;
    }
    const auto trace = traceForThisRun(arguments.trace, std::getenv("PINWRIGHT_TRACE"));
    if (prepared.standalone)
        return prepared.standalone(out, err);
    return runOnResources(prepared, arguments, trace, out, err);
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
