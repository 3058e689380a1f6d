#include "port/ConversionError.h"
#include "port/KorvaneMF.h"
#include "sim/Mainframe.h"
#include "tests/support/AnsweringPeer.h"
#include "tests/support/InstrumentFixture.h"
#include "transport/SCPI_DCPS.h"

#include <gtest/gtest.h>
#include <map>

namespace {

using Strings = std::vector<std::string>;

const std::string kIdentity = "Korvane,MF-7,X,1\n";

// A session of the command set's own on a scripted peer, with the fixture's short time-outs.
InstrumentSession OpenOn(const AnsweringPeer& peer) {
    transport::OpenOptions options;
    options.timeouts = globals::SessionTimeouts;
    return transport::Instrument::open(peer.resource(), options);
}

class CommandSetTest : public InstrumentFixture<4> {
protected:
    void SetUp() override {
        InstrumentFixture::SetUp();
        RecordNotices();
        ASSERT_TRUE(SCPI_DCPS::OpenSession("SIM4::INSTR", session, 1));
        notices.clear();
        mainframe().traffic().clear();
    }

    InstrumentSession session;
};

TEST_F(CommandSetTest, SettersSendTheirTextsAndTheErrorCheck) {
    const std::int16_t pin3 = 3, pin1 = 1, pin7 = 7;
    KorvaneMF::SetPinFunction("Inhibit", pin3, session);
    KorvaneMF::SetPinPolarity("POS", pin1, session);
    KorvaneMF::SetPinFunction("Off Couple", pin7, session);
    KorvaneMF::SetOutputData("12", session);
    KorvaneMF::SetInhibitMode("OFF", session);
    EXPECT_EQ(received(), (Strings{"DIG:PIN3:FUNC INH", "SYST:ERR?", "DIG:PIN1:POL POS", "SYST:ERR?",
                                   "DIG:PIN7:FUNC OFFC", "SYST:ERR?", "DIG:OUTP:DATA 12", "SYST:ERR?",
                                   "OUTP:INH:MODE OFF", "SYST:ERR?"}));
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(mainframe().state().pinFunction[7], "OFFC");
    EXPECT_EQ(mainframe().state().outputWord, 12);
}

TEST_F(CommandSetTest, UnknownNamesAndEmptyWordsStillSendTheHeaderAndTheInstrumentObjects) {
    const std::int16_t pin5 = 5;
    KorvaneMF::SetPinFunction("trigger out", pin5, session);
    KorvaneMF::SetPinFunction("", pin5, session);
    KorvaneMF::SetInhibitMode("", session);
    EXPECT_EQ(received(), (Strings{"DIG:PIN5:FUNC ", "SYST:ERR?", "DIG:PIN5:FUNC ", "SYST:ERR?",
                                   "OUTP:INH:MODE ", "SYST:ERR?"}));
    EXPECT_EQ(notices.size(), 3u) << "each refusal comes back through the command check";
}

TEST_F(CommandSetTest, FunctionRepliesTranslateOnlyOnExactMnemonics) {
    const std::int16_t pin = 6;
    const std::map<std::string, std::string> expected = {
        {"DIO", "Digital IO"}, {"FAUL", "Fault"},  {"OFFC", "Off Couple"}, {"dio", ""},
        {" DIO", ""},          {"Digital IO", ""}, {"DIGITAL", ""}};
    for (const auto& [reply, name] : expected) {
        AnsweringPeer peer([&](const std::string& line) {
            return std::optional<std::string>(line == "*IDN?" ? kIdentity : reply + "\n");
        });
        InstrumentSession own = OpenOn(peer);
        EXPECT_EQ(KorvaneMF::GetPinFunction(pin, own), name) << "reply \"" << reply << "\"";
        EXPECT_EQ(peer.received(), (Strings{"*IDN?", "DIG:PIN6:FUNC?"}));
    }
}

TEST_F(CommandSetTest, QueriesReturnRepliesAndBitTexts) {
    mainframe().receive("DIG:PIN6:POL NEG;:OUTP:INH:MODE LATC;:DIG:OUTP:DATA 5");
    mainframe().traffic().clear();
    const std::int16_t pin6 = 6;
    EXPECT_EQ(KorvaneMF::GetPinPolarity(pin6, session), "NEG");
    EXPECT_EQ(KorvaneMF::GetInhibitMode(session), "LATC");
    TextTable bits;
    KorvaneMF::GetOutputData(bits, session);
    ASSERT_EQ(bits.size(), 7u);
    EXPECT_EQ(bits[1], "1");
    EXPECT_EQ(bits[2], "0");
    EXPECT_EQ(bits[3], "1");
    EXPECT_EQ(KorvaneMF::GetInputData(session), "0000101"); // DIO pins read back their output bits
    EXPECT_EQ(received(), (Strings{"DIG:PIN6:POL?", "OUTP:INH:MODE?", "DIG:OUTP:DATA?", "DIG:INP:DATA?"}));
}

TEST_F(CommandSetTest, ReadAllPinsQueriesFourteenTimesAndLeavesExactlySevenElements) {
    mainframe().receive("DIG:PIN1:FUNC FAUL;:DIG:PIN1:POL NEG;:DIG:PIN5:FUNC ONC");
    mainframe().traffic().clear();
    TextTable functions, polarities;
    functions.resize(10);
    polarities.resize(10);
    KorvaneMF::ReadAllPins(functions, polarities, session);
    ASSERT_EQ(functions.size(), 7u);
    ASSERT_EQ(polarities.size(), 7u);
    EXPECT_EQ(functions[1], "Fault");
    EXPECT_EQ(polarities[1], "NEG");
    EXPECT_EQ(functions[5], "On Couple");
    EXPECT_EQ(functions[7], "Digital IO");
    EXPECT_EQ(polarities[7], "POS");
    Strings expected;
    for (int pin = 1; pin <= 7; ++pin) {
        expected.push_back("DIG:PIN" + std::to_string(pin) + ":FUNC?");
        expected.push_back("DIG:PIN" + std::to_string(pin) + ":POL?");
    }
    EXPECT_EQ(received(), expected);
}

TEST_F(CommandSetTest, FailedQueryInsideReadAllPinsLeavesThatPinEmptyAndGoesOn) {
    AnsweringPeer peer([](const std::string& line) -> std::optional<std::string> {
        if (line == "*IDN?")
            return kIdentity;
        if (line == "DIG:PIN3:FUNC?")
            return std::nullopt; // this one gets no answer
        if (line == "SYST:ERR?")
            return "+0,\"No error\"\n";
        if (line.ends_with(":FUNC?"))
            return "TINP\n";
        return "NEG\n";
    });
    InstrumentSession own = OpenOn(peer);

    TextTable functions, polarities;
    KorvaneMF::ReadAllPins(functions, polarities, own);
    EXPECT_EQ(functions[3], "");
    EXPECT_EQ(polarities[3], "NEG");
    for (std::size_t pin : {1u, 2u, 4u, 5u, 6u, 7u})
        EXPECT_EQ(functions[pin], "Trigger In") << "pin " << pin;
    EXPECT_EQ(notices.size(), 1u) << "the readout's message only";
    EXPECT_EQ(peer.received().back(), "DIG:PIN7:POL?");
}

TEST_F(CommandSetTest, InputReplyThatIsNoNumberRaisesTheConversionError) {
    mainframe().faults().inject(sim::Fault::Garbage, 1);
    EXPECT_THROW(KorvaneMF::GetInputData(session), ConversionError);
}

} // namespace
