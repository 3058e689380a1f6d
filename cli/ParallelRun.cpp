#include "cli/ParallelRun.h"

#include "cli/CliInstrument.h"
#include "cli/ExitStatus.h"
#include "cli/WorkerThreads.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <atomic>
#include <sstream>
#include <vector>

namespace cli {
namespace {

struct Result {
    std::ostringstream out;
    std::vector<std::string> messages;
    int status = kSuccess;
};

void runOne(const PreparedCommand& command, const CliArguments& arguments, const std::string& resource,
            std::ostream& out, Result& result) {
    try {
        CliInstrument instrument(resource, arguments, command.changesPort);
        result.status = command.onEachInstrument(instrument, out);
    } catch (const CliFailure& failure) {
        result.messages.emplace_back(failure.what());
        result.status = failure.status();
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
    const std::string prefix = "pinwright-cli: " + resource + ": ";
    for (const auto& message : result.messages)
        errors.append(
            QString::fromStdString(message.rfind(prefix, 0) == 0 ? message.substr(prefix.size()) : message));
    object["errors"] = errors;
    return object;
}

} // namespace

int runOnResources(const PreparedCommand& command, const CliArguments& arguments, std::ostream& out,
                   std::ostream& err) {
    const auto& resources = arguments.resources;
    std::vector<Result> results(resources.size());
    const bool direct = resources.size() == 1 && !arguments.json;
    if (resources.size() == 1) {
        runOne(command, arguments, resources.front(), direct ? out : results.front().out, results.front());
    } else {
        std::atomic<std::size_t> next{0};
        const auto work = [&] {
            for (std::size_t i = next++; i < resources.size(); i = next++)
                runOne(command, arguments, resources[i], results[i].out, results[i]);
        };
        const WorkerThreads workers(
            std::min<std::size_t>(static_cast<std::size_t>(arguments.jobs), resources.size()), work);
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
