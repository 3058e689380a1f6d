// The command set and the message grammar, through the mainframe's message interface.
#include "tests/sim/MainframeTestSupport.h"
#include "tests/support/CaseTable.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

using testing::ask;
using testing::drainErrors;

struct Exchange {
    const char* setup; // sent first, must leave no error
    const char* message;
    const char* reply; // "<none>" when nothing comes back
};

class AcceptedMessages : public test_cases::Table<Exchange, &Exchange::message> {};

TEST_P(AcceptedMessages, AnswerAndQueueNoError) {
    Mainframe mainframe;
    const Exchange& exchange = GetParam();
    ask(mainframe, exchange.setup);
    EXPECT_EQ(ask(mainframe, exchange.message), exchange.reply);
    EXPECT_EQ(drainErrors(mainframe), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    MainframeGrammar, AcceptedMessages,
    ::testing::Values(
        Exchange{"", "*IDN?", "Korvane,MF-7,SIM0001,1.0\n"},
        Exchange{"", "*idn?\r\n", "Korvane,MF-7,SIM0001,1.0\n"},
        Exchange{"", "  *IDN?  ", "Korvane,MF-7,SIM0001,1.0\n"},
        Exchange{"DIG:PIN4:FUNC TOUT", "DIG:PIN4:FUNC?", "TOUT\n"},
        Exchange{"source:digital:pin4:function toutput", ":SOUR:DIG:PIN4:FUNC?", "TOUT\n"},
        Exchange{"dig:pin5:func OFFCOUPLE", "Dig:Pin5:Func?", "OFFC\n"},
        // After a command, the next unit continues from its parent node...
        Exchange{"", "DIG:PIN2:FUNC DINP;FUNC?;POL NEG;POL?", "DINP;NEG\n"},
        // ... a leading colon goes back to the root, and a full path from the root is also understood.
        Exchange{"", "DIG:PIN2:POL NEG;:DIG:PIN2:POL?;DIG:PIN3:POL?", "NEG;POS\n"},
        Exchange{"", "DIG:OUTP:DATA 5;*OPC;DATA?", "+5\n"},
        Exchange{"", "DIG:PIN:POL NEG;:DIG:PIN1:POL?", "NEG\n"},
        Exchange{"", "DIG:PIN07:POL NEGATIVE;POL?", "NEG\n"}, Exchange{"", "DIG:OUTP:DATA +5;DATA?", "+5\n"},
        Exchange{"", "DIG:OUTP:DATA 5.4;DATA?", "+5\n"}, Exchange{"", "DIG:OUTP:DATA 1.27E2;DATA?", "+127\n"},
        Exchange{"DIG:OUTP:DATA 9", "DIG:OUTP:DATA 1E-999;DATA?", "+0\n"},
        Exchange{"", "DIG:OUTP:DATA #H7f;DATA?", "+127\n"}, Exchange{"", "DIG:OUTP:DATA #B101;DATA?", "+5\n"},
        Exchange{"", "DIG:OUTP:DATA max;DATA?", "+127\n"},
        Exchange{"DIG:OUTP:DATA 9", "DIGITAL:OUTPUT:DATA?", "+9\n"},
        Exchange{"", "OUTP:INH:MODE latching;MODE?", "LATC\n"},
        Exchange{"", "OUTP:INH:MODE LIVE;MODE?", "LIVE\n"}, Exchange{"", "OUTPUT:INHIBIT:MODE?", "OFF\n"},
        Exchange{"", "DIG:INP:DATA?", "+0\n"},
        Exchange{"", "*IDN?;SYST:ERR?", "Korvane,MF-7,SIM0001,1.0;+0,\"No error\"\n"},
        Exchange{"", "SYSTEM:ERROR:NEXT?", "+0,\"No error\"\n"}, Exchange{"", "*OPC?", "1\n"},
        Exchange{"", "*ESR?", "+0\n"}, Exchange{"", "*STB?", "+0\n"}, Exchange{"", "*RST;*CLS", "<none>"},
        Exchange{"", "*RST;;*CLS;", "<none>"}, Exchange{"", "", "<none>"}));

struct Refusal {
    const char* message;
    const char* error;
};

class RefusedMessages : public test_cases::Table<Refusal, &Refusal::message> {};

TEST_P(RefusedMessages, QueueTheErrorAndChangeNothing) {
    Mainframe mainframe;
    const PortState before = mainframe.state();
    EXPECT_EQ(ask(mainframe, GetParam().message), "<none>");
    EXPECT_EQ(drainErrors(mainframe), std::vector<std::string>{GetParam().error});
    EXPECT_EQ(mainframe.state(), before);
}

INSTANTIATE_TEST_SUITE_P(
    MainframeRules, RefusedMessages,
    ::testing::Values(
        Refusal{"DIG:PIN2:FUNC FAUL", "-221,\"Settings conflict\""},
        Refusal{"DIG:PIN1:FUNC INH", "-221,\"Settings conflict\""},
        Refusal{"DIG:PIN3:FUNC ONC", "-221,\"Settings conflict\""},
        Refusal{"DIG:PIN1:FUNC OFFC", "-221,\"Settings conflict\""},
        Refusal{"DIG:PIN1:FOO DIO", "-113,\"Undefined header\""},
        Refusal{"FOO?", "-113,\"Undefined header\""}, Refusal{"DIG:PIN1:FUNCT?", "-113,\"Undefined header\""},
        Refusal{"DIG:INP:DATA 5", "-113,\"Undefined header\""}, Refusal{"*RST?", "-113,\"Undefined header\""},
        Refusal{"*XYZ", "-113,\"Undefined header\""},
        Refusal{"DIG:PIN8:FUNC?", "-114,\"Header suffix out of range\""},
        Refusal{"DIG:PIN0:FUNC DINP", "-114,\"Header suffix out of range\""},
        Refusal{"DIG:PIN99999999999:POL NEG", "-114,\"Header suffix out of range\""},
        Refusal{"DIG2:PIN1:POL NEG", "-114,\"Header suffix out of range\""},
        Refusal{"DIG:PIN4:FUNC ", "-109,\"Missing parameter\""},
        Refusal{"OUTP:INH:MODE", "-109,\"Missing parameter\""},
        Refusal{"DIG:PIN4:FUNC XYZ", "-224,\"Illegal parameter value\""},
        Refusal{"DIG:PIN4:FUNC Trigger", "-224,\"Illegal parameter value\""},
        Refusal{"DIG:PIN4:POL POSI", "-224,\"Illegal parameter value\""},
        Refusal{"DIG:PIN4:POL \"POS\"", "-224,\"Illegal parameter value\""},
        Refusal{"OUTP:INH:MODE LATCH", "-224,\"Illegal parameter value\""},
        Refusal{"DIG:OUTP:DATA 128", "-222,\"Data out of range\""},
        Refusal{"DIG:OUTP:DATA -1", "-222,\"Data out of range\""},
        Refusal{"DIG:OUTP:DATA 1E999", "-222,\"Data out of range\""},
        Refusal{"DIG:OUTP:DATA #HFFFFFFFFFFFFFFFFFFFF", "-222,\"Data out of range\""},
        Refusal{"DIG:OUTP:DATA 1x", "-102,\"Syntax error\""},
        Refusal{"DIG:OUTP:DATA abc", "-102,\"Syntax error\""},
        Refusal{"DIG:OUTP:DATA inf", "-102,\"Syntax error\""},
        Refusal{"DIG:OUTP:DATA .", "-102,\"Syntax error\""},
        Refusal{"DIG:OUTP:DATA 1e", "-102,\"Syntax error\""},
        Refusal{"DIG:OUTP:DATA #X12", "-102,\"Syntax error\""},
        Refusal{"DIG::PIN1:FUNC?", "-102,\"Syntax error\""},
        Refusal{"DIG:PIN1:FUNC?x", "-102,\"Syntax error\""},
        Refusal{"DIG:PIN1:FUNC \"DIO", "-102,\"Syntax error\""},
        Refusal{"DIG:OUTP:DATA 5,", "-102,\"Syntax error\""},
        Refusal{"DIG:PIN1:FUNC\x01 DIO", "-102,\"Syntax error\""}, Refusal{"*", "-102,\"Syntax error\""},
        Refusal{"DIG:OUTP:DATA 5,6", "-108,\"Parameter not allowed\""},
        Refusal{"*IDN? 5", "-108,\"Parameter not allowed\""},
        Refusal{"*RST 1", "-108,\"Parameter not allowed\""}));

TEST(MainframeCommands, KeepsGoingAfterAFailedUnitAndAnswersTheRest) {
    Mainframe mainframe;
    EXPECT_EQ(ask(mainframe, "DIG:PIN9:FUNC?;:DIG:PIN1:FUNC FAUL;FUNC?;:BAD?;*OPC?"), "FAUL;1\n");
    EXPECT_EQ(drainErrors(mainframe),
              (std::vector<std::string>{"-114,\"Header suffix out of range\"", "-113,\"Undefined header\""}));
}

TEST(MainframeCommands, SemicolonInsideAQuotedStringDoesNotSplitTheMessage) {
    Mainframe mainframe;
    EXPECT_EQ(ask(mainframe, "DIG:PIN1:POL \"a;b\";*OPC?"), "1\n");
    EXPECT_EQ(drainErrors(mainframe), std::vector<std::string>{"-224,\"Illegal parameter value\""});
}

TEST(MainframeCommands, IdentificationCarriesTheSerialNumber) {
    Mainframe mainframe("MF7-00042");
    EXPECT_EQ(ask(mainframe, "*IDN?"), "Korvane,MF-7,MF7-00042,1.0\n");
}

TEST(MainframeCommands, InputWordReadsDioPinsFromTheOutputWordAndOthersFromOutside) {
    Mainframe mainframe;
    ask(mainframe, "DIG:OUTP:DATA 1;:DIG:PIN2:FUNC DINP;:DIG:PIN4:FUNC TINP");
    mainframe.setExternalInputLevels(0b1111110);
    // Pins 1, 3, 5, 6, 7 are DIO and drive 1, 0, 0, 0, 0; pins 2 and 4 see the external 1s.
    EXPECT_EQ(ask(mainframe, "DIG:INP:DATA?"), "+11\n");
    ask(mainframe, "DIG:OUTP:DATA 127");
    mainframe.setExternalInputLevels(0);
    EXPECT_EQ(ask(mainframe, "DIG:INP:DATA?"), "+117\n");
}

TEST(MainframeCommands, EveryAllowedFunctionIsAcceptedOnItsPins) {
    Mainframe mainframe;
    const char* everywhere[] = {"DIO", "DINP", "TOUT", "TINP"};
    for (int pin = 1; pin <= 7; ++pin) {
        for (const char* function : everywhere) {
            ask(mainframe, "DIG:PIN" + std::to_string(pin) + ":FUNC " + function);
            EXPECT_EQ(ask(mainframe, "DIG:PIN" + std::to_string(pin) + ":FUNC?"),
                      std::string(function) + "\n");
        }
    }
    ask(mainframe, "DIG:PIN1:FUNC FAUL;:DIG:PIN3:FUNC INH;:DIG:PIN4:FUNC ONC;:DIG:PIN7:FUNC OFFC");
    EXPECT_EQ(ask(mainframe, "DIG:PIN1:FUNC?;:DIG:PIN3:FUNC?;:DIG:PIN4:FUNC?;:DIG:PIN7:FUNC?"),
              "FAUL;INH;ONC;OFFC\n");
    EXPECT_EQ(drainErrors(mainframe), std::vector<std::string>{});
}

} // namespace
} // namespace sim
