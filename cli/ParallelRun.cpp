#include "cli/ParallelRun.h"

#include "cli/ExitStatus.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <algorithm>
#include <memory>
#include <vector>

namespace cli {
namespace {

QStringList ChildArguments(const CliArguments& arguments, const std::string& resource) {
    QStringList list{QStringLiteral("-r"), QString::fromStdString(resource)};
    for (const auto& argument : arguments.withoutResources)
        list << QString::fromStdString(argument);
    return list;
}

} // namespace

int RunForEachResource(const CliArguments& arguments, const std::string& programPath, std::ostream& out,
                       std::ostream& err) {
    // QProcess wants an application object for its notifiers, though nothing here runs an event loop.
    std::unique_ptr<QCoreApplication> application;
    static int argc = 1;
    static char name[] = "pinwright-cli";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr)
        application = std::make_unique<QCoreApplication>(argc, argv);

    std::vector<std::unique_ptr<QProcess>> children;
    for (const auto& resource : arguments.resources) {
        auto child = std::make_unique<QProcess>();
        child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child->start(QString::fromStdString(programPath), ChildArguments(arguments, resource));
        children.push_back(std::move(child));
    }

    int worst = kSuccess;
    QJsonArray jsonResults;
    for (std::size_t i = 0; i < children.size(); ++i) {
        QProcess& child = *children[i];
        const std::string& resource = arguments.resources[i];
        child.waitForFinished(-1); // each child is bounded by its own I/O time-outs
        int status = child.exitCode();
        if (child.exitStatus() != QProcess::NormalExit || child.error() == QProcess::FailedToStart) {
            err << "pinwright-cli: " << resource << ": the process for this resource failed ("
                << child.errorString().toStdString() << ")\n";
            status = kInstrumentError;
        }
        worst = std::max(worst, status);
        const QByteArray result = child.readAllStandardOutput();
        if (arguments.json) {
            QJsonObject object = QJsonDocument::fromJson(result).object();
            if (object.isEmpty())
                object["resource"] = QString::fromStdString(resource);
            object["exitStatus"] = status;
            jsonResults.append(object);
        } else {
            out << "== " << resource << '\n' << result.toStdString();
        }
    }
    if (arguments.json)
        out << QJsonDocument(jsonResults).toJson(QJsonDocument::Indented).toStdString();
    out.flush();
    return worst;
}

} // namespace cli
