#include "cli/ParallelRun.h"

#include "base/FiberLoop.h"
#include "cli/CliInstrument.h"
#include "cli/ExitStatus.h"
#include "cli/WorkerThreads.h"
#include "transport/Instrument.h"
#include "visa/Transport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <atomic>
#include <optional>
#include <sstream>
#include <vector>

namespace cli {
namespace {

struct Result {
    std::ostringstream out;
    std::vector<std::string> messages;
    int status = kSuccess;
};

void runOne(const PreparedCommand& command, const CliArguments& arguments,
            const std::shared_ptr<visa::TraceLog>& trace, const std::string& resource, std::ostream& out,
            Result& result) {
    try {
        CliInstrument instrument(resource, arguments, command.changesPort, !command.planOnly, trace);
        result.status = command.onEachInstrument(instrument, out);
    } catch (const CliFailure& failure) {
        result.messages.emplace_back(failure.what());
        result.status = failure.status();
    } catch (const PortFailure& failure) {
        const CliFailure reported = cliFailureOf(failure);
        result.messages.emplace_back(reported.what());
        result.status = reported.status();
    } catch (const std::exception& error) {
        result.messages.push_back("pinwright-cli: " + resource + ": " + error.what());
        result.status = kInstrumentError;
    }
}

QJsonObject jsonResult(const std::string& resource, const Result& result) {
    QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(result.out.str())).object();
    object["resource"] = QString::fromStdString(resource);
    object["exitStatus"] = result.status;
    QJsonArray errors;
    for (std::string message : result.messages) {
        for (const std::string& prefix : {std::string("pinwright-cli: "), resource + ": "})
            if (message.rfind(prefix, 0) == 0)
                message.erase(0, prefix.size());
        errors.append(QString::fromStdString(message));
    }
    object["errors"] = errors;
    // Every report says how it ended: a command that failed before printing its own (the connection, a
    // port that did not read back whole) is "failed", with the reason.
    if (!result.messages.empty() && (!object.contains("result") || result.status == kUnreachable))
        object["result"] = "failed";
    if (!object.contains("result"))
        object["result"] = result.status == kSuccess ? "done" : "failed";
    if (object["result"] != "done" && !object.contains("reason") && !errors.empty())
        object["reason"] = errors.first();
    return object;
}

// Whether this instrument's conversation can share one thread with the others as a fiber: its
// transport's row says so.
bool runsOnFiber(const std::string& resource) {
    const auto facts = visa::transportFacts(resource);
    return facts && facts->waitsThroughLoop;
}

// How many of each kind work at once: together at most `jobs`, at least one of each kind there is.
std::pair<std::size_t, std::size_t> shareJobs(std::size_t jobs, std::size_t onSockets, std::size_t others) {
    if (others == 0)
        return {std::min(jobs, onSockets), 0};
    if (onSockets == 0)
        return {0, std::min(jobs, others)};
    const std::size_t fibers = std::clamp<std::size_t>(jobs * onSockets / (onSockets + others), 1, onSockets);
    return {fibers, std::clamp<std::size_t>(jobs - std::min(jobs, fibers), 1, others)};
}

} // namespace

void printRefusedReports(const CliArguments& arguments, const CliFailure& refusal, std::ostream& out) {
    QJsonArray reports;
    for (const auto& resource : arguments.resources) {
        Result result;
        result.out << R"({"result": "refused"})";
        result.messages.emplace_back(refusal.what());
        result.status = refusal.status();
        reports.append(jsonResult(resource, result));
    }
    out << (reports.size() == 1 ? QJsonDocument(reports.first().toObject()) : QJsonDocument(reports))
               .toJson(QJsonDocument::Indented)
               .toStdString();
}

int runOnResources(const PreparedCommand& command, const CliArguments& arguments,
                   const std::shared_ptr<visa::TraceLog>& trace, std::ostream& out, std::ostream& err) {
    const auto& resources = arguments.resources;
    for (const auto& resource : resources) {
        try {
            transport::Instrument::checkResource(resource);
        } catch (const transport::InvalidResource& invalid) {
            const CliFailure refusal(kUsageError, "pinwright-cli: " + invalid.reason());
            if (arguments.json)
                printRefusedReports(arguments, refusal, out);
            err << refusal.what() << '\n';
            return kUsageError;
        }
    }
    std::vector<Result> results(resources.size());
    const bool direct = resources.size() == 1 && !arguments.json;
    if (resources.size() == 1) {
        runOne(command, arguments, trace, resources.front(), direct ? out : results.front().out,
               results.front());
    } else {
        // Instruments on sockets are fibers of this thread, the others have worker threads; each kind
        // takes its next instrument from a list of its own.
        std::vector<std::size_t> onSockets, others;
        for (std::size_t i = 0; i < resources.size(); ++i)
            (runsOnFiber(resources[i]) ? onSockets : others).push_back(i);
        const auto jobs = static_cast<std::size_t>(arguments.jobs); // at least 1, as the options say
        const auto [fibers, threads] = shareJobs(jobs, onSockets.size(), others.size());
        std::atomic<std::size_t> nextOnSocket{0}, nextOther{0};
        const auto workThrough = [&](const std::vector<std::size_t>& list, std::atomic<std::size_t>& next) {
            for (std::size_t k = next++; k < list.size(); k = next++) {
                const std::size_t i = list[k];
                runOne(command, arguments, trace, resources[i], results[i].out, results[i]);
            }
        };
        std::optional<WorkerThreads> workers(std::in_place, threads, [&] { workThrough(others, nextOther); });
        if (fibers + threads > jobs)
            workers.reset(); // -j 1: one kind after the other
        base::FiberLoop loop;
        for (std::size_t k = 0; k < fibers; ++k)
            loop.post([&] { workThrough(onSockets, nextOnSocket); });
        loop.run();
    }

    int worst = kSuccess;
    QJsonArray jsonResults;
    for (std::size_t i = 0; i < results.size(); ++i) {
        worst = std::max(worst, results[i].status);
        for (const auto& message : results[i].messages)
            err << message << '\n';
        if (arguments.json)
            jsonResults.append(jsonResult(resources[i], results[i]));
        else if (!direct)
            out << "== " << resources[i] << '\n' << results[i].out.str();
    }
    if (arguments.json)
        out << (results.size() == 1 ? QJsonDocument(jsonResults.first().toObject())
                                    : QJsonDocument(jsonResults))
                   .toJson(QJsonDocument::Indented)
                   .toStdString();
    return worst;
}

} // namespace cli
