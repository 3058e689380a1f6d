// pinwright-cli changes only an instrument it knows: a mainframe whose port it knows, whose port read back
// whole; otherwise status 3 naming what it found, unless --force. Every JSON report carries its result,
// statuses follow their cause, and the instrument's own text is shown escaped on one line.
#include "tests/cli/CliRun.h"
#include "tests/support/AnsweringPeer.h"
#include "tests/support/CaseTable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using Strings = std::vector<std::string>;

// An instrument that answers each query of a line (joined by ";:") with `answer`, and every command with
// nothing; its error queue is always empty.
class ScriptedInstrument {
public:
    ScriptedInstrument(std::string identity, std::function<std::string(const std::string&)> answer)
        : peer_([identity = std::move(identity),
                 answer = std::move(answer)](const std::string& line) -> std::optional<std::string> {
              std::string reply;
              for (std::size_t start = 0; start <= line.size();) {
                  const std::size_t end = std::min(line.find(";:", start), line.size());
                  const std::string unit = line.substr(start, end - start);
                  if (unit.ends_with('?'))
                      reply += (reply.empty() ? "" : ";") + (unit == "*IDN?"       ? identity
                                                             : unit == "SYST:ERR?" ? "+0,\"No error\""
                                                                                   : answer(unit));
                  start = end + 2;
              }
              return reply.empty() ? std::nullopt : std::optional(reply + "\n");
          }) {}

    std::string resource() const { return peer_.resource(); }
    Strings commandsReceived() const {
        Strings commands;
        for (const auto& line : peer_.received())
            if (line.back() != '?')
                commands.push_back(line);
        return commands;
    }

private:
    AnsweringPeer peer_;
};

std::string mainframeAnswer(const std::string& query) {
    if (query.ends_with(":FUNC?"))
        return "DIO";
    if (query.ends_with(":POL?"))
        return "POS";
    return query == "OUTP:INH:MODE?" ? "OFF" : "+0";
}

std::string zero(const std::string&) {
    return "0";
}

class ProfileFile {
public:
    explicit ProfileFile(const std::string& body) {
        std::ofstream(path) << R"({"format": "pinwright-profile", "version": 1, )" << body << "}";
    }
    ~ProfileFile() { std::remove(path.c_str()); }
    const std::string path = ::testing::TempDir() + "known-" + std::to_string(::getpid()) + ".json";
};

struct StrangerCase {
    const char* name;
    const char* identity;
    std::string (*answer)(const std::string&);
    const char* found; // what the message names, after "<resource>: "
};

class Strangers : public test_cases::Table<StrangerCase, &StrangerCase::name> {};

TEST_P(Strangers, AreNotChangedWithoutForceAndNotShownAsSuccess) {
    ScriptedInstrument instrument(GetParam().identity, GetParam().answer);
    const ProfileFile profile(R"("outputWord": 5, "pins": [{"pin": 5, "function": "On Couple"}])");
    for (const Strings& command :
         {Strings{"pin", "5", "ONC"}, Strings{"output", "5"}, Strings{"inhibit", "live"},
          Strings{"apply", profile.path}, Strings{"apply", "--dry-run", profile.path}}) {
        Strings arguments{"-r", instrument.resource(), "--timeout", "500"};
        arguments.insert(arguments.end(), command.begin(), command.end());
        const auto result = runCliHere(arguments);
        EXPECT_EQ(result.status, 3) << command[0];
        EXPECT_EQ(result.err.rfind("pinwright-cli: " + instrument.resource() + ": " + GetParam().found, 0),
                  0u)
            << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << "one line: " << result.err;
        EXPECT_NE(result.err.find("nothing was sent (--force sends anyway)"), std::string::npos)
            << result.err;
    }
    EXPECT_EQ(instrument.commandsReceived(), Strings{});

    const auto forced =
        runCliHere({"-r", instrument.resource(), "--timeout", "500", "--force", "output", "5"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(instrument.commandsReceived(), Strings{"DIG:OUTP:DATA 5"});
}

INSTANTIATE_TEST_SUITE_P(
    Instruments, Strangers,
    ::testing::Values(
        StrangerCase{"OtherMaker", "Acme,DMM-1,7,2", mainframeAnswer,
                     "checking the instrument: the identity \"Acme,DMM-1,7,2\" is not a Korvane "
                     "mainframe with a known port (MF-7)"},
        StrangerCase{"ControlCharactersInTheIdentity", "Acme\r\x1b[2J,DMM,1,1", mainframeAnswer,
                     "checking the instrument: the identity \"Acme\\x0D\\x1B[2J,DMM,1,1\""},
        StrangerCase{"AnswersZeroToEverything", "Korvane,MF-7,Z,1", zero,
                     "reading the port: the instrument gave no known value for pin 1 function, "
                     "pin 1 polarity, pin 2 function"}),
    test_cases::byName);

TEST(UnreadablePort, IsNotShownAsSuccess) {
    ScriptedInstrument instrument("Korvane,MF-7,Z,1", zero);
    const auto text = runCliHere({"-r", instrument.resource(), "show"});
    EXPECT_EQ(text.status, 3);
    EXPECT_NE(text.out.find("pin 1: unknown, unknown\n"), std::string::npos) << text.out;
    EXPECT_NE(text.err.find("reading the port: the instrument gave no known value for pin 1 function"),
              std::string::npos)
        << text.err;
    const auto json = runCliHere({"-r", instrument.resource(), "show", "--json"});
    EXPECT_EQ(json.status, 3);
    const QJsonObject report = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object();
    EXPECT_EQ(report["result"], "failed");
    EXPECT_EQ(report["exitStatus"], 3);
    EXPECT_TRUE(report["reason"].toString().startsWith("reading the port: ")) << json.out;
    for (const char* command : {"save", "diff"}) {
        const ProfileFile profile(R"("outputWord": 5)");
        const auto result = runCliHere(
            {"-r", instrument.resource(), command, command == std::string("save") ? "-" : profile.path});
        EXPECT_EQ(result.status, 3) << command << ": " << result.err;
        EXPECT_EQ(result.out, "") << command;
    }
}

struct ReportCase {
    const char* name;
    Strings arguments;
    int status;
    const char* result;
    const char* reason; // how the reason begins
};

class JsonReports : public test_cases::Table<ReportCase, &ReportCase::name> {};

TEST_P(JsonReports, AlwaysCarryTheResultAndTheReasonOnePerResource) {
    const ProfileFile refused(R"("pins": [{"pin": 3, "function": "Fault"}])");
    Strings arguments = GetParam().arguments;
    std::replace(arguments.begin(), arguments.end(), std::string("PROFILE"), refused.path);
    const std::string reason = GetParam().reason == std::string("PROFILE") ? refused.path : GetParam().reason;
    const auto result = runCliHere(arguments);
    EXPECT_EQ(result.status, GetParam().status) << result.err;
    const auto document = QJsonDocument::fromJson(QByteArray::fromStdString(result.out));
    const std::size_t resources =
        static_cast<std::size_t>(std::count(arguments.begin(), arguments.end(), "-r"));
    const QJsonArray reports = document.isArray() ? document.array() : QJsonArray{document.object()};
    ASSERT_EQ(static_cast<std::size_t>(reports.size()), resources) << result.out;
    for (const auto& entry : reports) {
        const QJsonObject report = entry.toObject();
        EXPECT_EQ(report["result"], GetParam().result) << result.out;
        EXPECT_EQ(report["exitStatus"], GetParam().status);
        EXPECT_TRUE(report["reason"].toString().startsWith(QString::fromStdString(reason))) << result.out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, JsonReports,
    ::testing::Values(ReportCase{"ConnectionRefused",
                                 {"-r", "TCPIP0::127.0.0.1::1::SOCKET", "--timeout", "500", "show", "--json"},
                                 3,
                                 "failed",
                                 "connecting: "},
                      ReportCase{"ProfileRefusedBeforeSending",
                                 {"-r", "SIM13::INSTR", "apply", "--json", "PROFILE"},
                                 2,
                                 "refused",
                                 "PROFILE"},
                      ReportCase{"ProfileRefusedForSeveral",
                                 {"-r", "SIM13::INSTR", "-r", "SIM14::INSTR", "diff", "--json", "PROFILE"},
                                 2,
                                 "refused",
                                 "PROFILE"}),
    test_cases::byName);

struct LocalFileCase {
    const char* name;
    Strings arguments;
    const char* trace; // PINWRIGHT_TRACE, or nullptr
    const char* message;
};

class LocalFiles : public test_cases::Table<LocalFileCase, &LocalFileCase::name> {};

TEST_P(LocalFiles, AreStatusTwo) {
    if (GetParam().trace)
        ::setenv("PINWRIGHT_TRACE", GetParam().trace, 1);
    const auto result = runCliHere(GetParam().arguments);
    ::unsetenv("PINWRIGHT_TRACE");
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Files, LocalFiles,
    ::testing::Values(LocalFileCase{"SaveWhereNothingCanBeWritten",
                                    {"-r", "SIM13::INSTR", "save", "/proc/pinwright-profile.json"},
                                    nullptr,
                                    "cannot write /proc/pinwright-profile.json"},
                      LocalFileCase{"UnwritableTraceFile",
                                    {"-r", "SIM13::INSTR", "show"},
                                    "/nonexistent-directory/trace.log",
                                    "cannot open the trace file /nonexistent-directory/trace.log"}),
    test_cases::byName);

} // namespace
