#include "cli/ParallelRun.h"

#include "cli/ExitStatus.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <sstream>
#include <thread>
#include <vector>

namespace cli {

int runForEachResource(const CommandAction& action, const CliArguments& arguments, std::ostream& out,
                       std::ostream& err) {
    struct Result {
        std::ostringstream out;
        std::ostringstream err;
        int status = kSuccess;
    };
    std::vector<Result> results(arguments.resources.size());
    {
        std::vector<std::jthread> workers;
        for (std::size_t i = 0; i < results.size(); ++i)
            workers.emplace_back([&, i] {
                results[i].status =
                    runOnResource(action, arguments, arguments.resources[i], results[i].out, results[i].err);
            });
    } // every thread is bounded by its own session's time-outs

    int worst = kSuccess;
    QJsonArray jsonResults;
    for (std::size_t i = 0; i < results.size(); ++i) {
        const std::string& resource = arguments.resources[i];
        worst = std::max(worst, results[i].status);
        err << results[i].err.str();
        if (arguments.json) {
            QJsonObject object =
                QJsonDocument::fromJson(QByteArray::fromStdString(results[i].out.str())).object();
            object["resource"] = QString::fromStdString(resource);
            object["exitStatus"] = results[i].status;
            jsonResults.append(object);
        } else {
            out << "== " << resource << '\n' << results[i].out.str();
        }
    }
    if (arguments.json)
        out << QJsonDocument(jsonResults).toJson(QJsonDocument::Indented).toStdString();
    return worst;
}

} // namespace cli
