#include "cli/CliMain.h"

#include "base/ProgramVersion.h"
#include "cli/CliArguments.h"
#include "cli/CommandTable.h"
#include "cli/ExitStatus.h"
#include "cli/ParallelRun.h"
#include "visa/ResourceManager.h"

#include <QtGlobal>
#include <cstdlib>

namespace cli {
namespace {

// The trace stays on for this run only: a test may run the tool several times in one process, some of
// them at once, so a run without a trace leaves the program-wide setting alone.
class TraceForThisRun {
public:
    TraceForThisRun(bool toStandardError, const char* file) {
        if (toStandardError)
            visa::ResourceManager::setTraceLog(visa::TraceLog::toStandardError());
        else if (file != nullptr && *file != '\0')
            visa::ResourceManager::setTraceLog(openTraceFile(file));
        else
            return;
        tracing_ = true;
    }
    ~TraceForThisRun() {
        if (tracing_)
            visa::ResourceManager::setTraceLog(nullptr);
    }
    Q_DISABLE_COPY(TraceForThisRun)

private:
    // A trace file that cannot be written is the user's to fix, as a wrong command line is.
    static std::shared_ptr<visa::TraceLog> openTraceFile(const char* file) {
        try {
            return visa::TraceLog::openFile(file);
        } catch (const std::exception& failure) {
            usageError(failure.what());
        }
    }

    bool tracing_ = false;
};

int runParsed(const CliArguments& arguments, std::ostream& out, std::ostream& err) {
    PreparedCommand prepared;
    try {
        prepared = arguments.command->prepare(arguments);
    } catch (const CliFailure& refusal) {
        if (arguments.json && !arguments.resources.empty())
            printRefusedReports(arguments, refusal, out);
        throw;
    }
    TraceForThisRun trace(arguments.trace, std::getenv("PINWRIGHT_TRACE"));
    if (prepared.standalone)
        return prepared.standalone(out, err);
    return runOnResources(prepared, arguments, out, err);
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
