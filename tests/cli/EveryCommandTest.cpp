// Every command of pinwright-cli against the same simulated mainframe over SIM, SOCKET, VXI-11 and
// HiSLIP: what reaches the instrument, what it ends up holding and what is printed.
#include "tests/cli/CliRun.h"
#include "tests/cli/ServedInstrument.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

using Strings = std::vector<std::string>;

class EveryCommand : public ::testing::TestWithParam<Transport> {
protected:
    void SetUp() override {
        try {
            instrument = std::make_unique<ServedInstrument>(GetParam(), 3);
        } catch (const std::exception& error) {
            FAIL() << error.what();
        }
    }
    CliResult run(Strings arguments) {
        arguments.insert(arguments.begin(), {"-r", instrument->resource()});
        return runCliHere(arguments);
    }
    Strings received() const { return instrument->mainframe().traffic().received(); }

    std::unique_ptr<ServedInstrument> instrument;
};

TEST_P(EveryCommand, SettersSendTheWindowsCommandsEachWithTheErrorCheck) {
    auto& mainframe = instrument->mainframe();
    mainframe.traffic().clear();
    for (const Strings& command : {Strings{"pin", "5", "Off Couple", "negative"}, Strings{"pin", "2", "TOUT"},
                                   Strings{"output", "--bits", "1010000"}, Strings{"inhibit", "latching"},
                                   Strings{"scpi", "DIG:PIN7:POL", "NEG"}}) {
        const auto result = run(command);
        EXPECT_EQ(result.status, 0) << command[0] << ": " << result.err;
        EXPECT_EQ(result.out, "") << command[0];
    }
    // Each setter reads the port first, in one message, for the port's rules (the setters are the
    // window's commands); scpi passes its text through as typed.
    const std::string port =
        "DIG:OUTP:DATA?;:DIG:PIN1:FUNC?;:DIG:PIN1:POL?;:DIG:PIN2:FUNC?;:DIG:PIN2:POL?;:DIG:PIN3:FUNC?;:DIG:"
        "PIN3:POL?;:DIG:PIN4:FUNC?;:DIG:PIN4:POL?;:DIG:PIN5:FUNC?;:DIG:PIN5:POL?;:DIG:PIN6:FUNC?;:DIG:PIN6:"
        "POL?;:DIG:PIN7:FUNC?;:DIG:PIN7:POL?;:OUTP:INH:MODE?";
    EXPECT_EQ(received(), (Strings{"*IDN?",
                                   port,
                                   "DIG:PIN5:FUNC OFFC",
                                   "SYST:ERR?",
                                   "DIG:PIN5:POL NEG",
                                   "SYST:ERR?",
                                   "*IDN?",
                                   port,
                                   "DIG:PIN2:FUNC TOUT",
                                   "SYST:ERR?",
                                   "*IDN?",
                                   port,
                                   "DIG:OUTP:DATA 80",
                                   "SYST:ERR?",
                                   "*IDN?",
                                   port,
                                   "OUTP:INH:MODE LATC",
                                   "SYST:ERR?",
                                   "*IDN?",
                                   "DIG:PIN7:POL NEG",
                                   "SYST:ERR?"}));
    const auto state = mainframe.state();
    EXPECT_EQ(state.pinFunction[5], "OFFC");
    EXPECT_EQ(state.pinPolarity[5], "NEG");
    EXPECT_EQ(state.pinFunction[2], "TOUT");
    EXPECT_EQ(state.outputWord, 80);
    EXPECT_EQ(state.inhibitMode, "LATC");
    EXPECT_EQ(state.pinPolarity[7], "NEG");
}

TEST_P(EveryCommand, ReadersPrintResultsOnly) {
    auto& mainframe = instrument->mainframe();
    auto state = mainframe.state();
    state.pinFunction[1] = "FAUL";
    state.pinPolarity[1] = "NEG";
    state.pinFunction[6] = "ONC";
    state.outputWord = 5;
    state.inhibitMode = "LIVE";
    mainframe.setState(state);

    const auto identity = run({"identify"});
    EXPECT_EQ(identity.out.rfind("Korvane,MF-7,SIM", 0), 0u) << identity.out;
    EXPECT_EQ(run({"scpi", "DIG:PIN6:FUNC?"}).out, "ONC\n");
    const auto input = run({"input"});
    EXPECT_EQ(input.status, 0) << input.err;
    EXPECT_EQ(input.out.size(), 8u);

    const auto text = run({"show"});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("pin 1: Fault, negative\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("output: 5 (pin 7654321: 0000101)\n"), std::string::npos) << text.out;

    const auto json = run({"show", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    QJsonParseError error{};
    const auto document = QJsonDocument::fromJson(QByteArray::fromStdString(json.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.out;
    const QJsonObject root = document.object();
    EXPECT_EQ(root["resource"].toString().toStdString(), instrument->resource());
    EXPECT_EQ(root["outputWord"].toInt(), 5);
    EXPECT_EQ(root["outputBits"].toString(), "0000101");
    EXPECT_EQ(root["inhibitMode"].toString(), "live");
    const QJsonArray pins = root["pins"].toArray();
    ASSERT_EQ(pins.size(), 7);
    EXPECT_EQ(pins[0].toObject()["function"].toString(), "Fault");
    EXPECT_EQ(pins[0].toObject()["polarity"].toString(), "negative");
    EXPECT_EQ(pins[5].toObject()["function"].toString(), "On Couple");
    EXPECT_EQ(pins[5].toObject()["pin"].toInt(), 6);
}

INSTANTIATE_TEST_SUITE_P(Transports, EveryCommand,
                         ::testing::Values(Transport::Sim, Transport::Socket, Transport::Vxi11,
                                           Transport::Hislip),
                         [](const auto& info) { return ServedInstrument::name(info.param); });

} // namespace
