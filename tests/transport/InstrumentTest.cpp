// The instrument object on its own: what each exchange gives back as values, and each failure as its
// type with a reason a caller can print after the resource and the step.

#include "transport/Instrument.h"

#include "sim/Mainframe.h"
#include "tests/support/AnsweringPeer.h"
#include "tests/support/CaseTable.h"
#include "tests/support/FreshBoards.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

using transport::Instrument;

constexpr unsigned kBoard = 5;
const std::string kSim = "SIM5::INSTR";

class InstrumentTest : public ::testing::Test {
protected:
    sim::Mainframe& mainframe() { return boards_.board(kBoard); }
    std::vector<std::string> received() { return mainframe().traffic().received(); }

    static transport::OpenOptions shortTimeouts() {
        transport::OpenOptions options;
        options.timeouts = {std::chrono::milliseconds(1000), std::chrono::milliseconds(200)};
        return options;
    }
    std::unique_ptr<Instrument> openQuietly() {
        auto instrument = Instrument::open(kSim, shortTimeouts());
        mainframe().traffic().clear();
        return instrument;
    }

private:
    FreshBoards boards_;
};

TEST_F(InstrumentTest, OpenIdentifiesThenClearsOnlyWhenAskedAndAfterTheIdentityWasHandedOver) {
    for (const bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "reset" : "no reset");
        mainframe().traffic().clear();
        auto options = shortTimeouts();
        options.reset = reset;
        std::size_t messagesWhenIdentified = 0;
        std::string identity;
        options.onIdentified = [&](const std::string& text) {
            identity = text;
            messagesWhenIdentified = received().size();
        };
        const auto instrument = Instrument::open(kSim, options);
        EXPECT_EQ(identity, instrument->identity());
        EXPECT_EQ(identity, "Korvane,MF-7," + sim::Mainframe::serialNumberFor(kBoard) + ",1.0\n");
        EXPECT_EQ(messagesWhenIdentified, 1u);
        const std::vector<std::string> expected =
            reset ? std::vector<std::string>{"*IDN?", "*RST;*CLS"} : std::vector<std::string>{"*IDN?"};
        EXPECT_EQ(received(), expected);
    }
}

struct OpenFailureCase {
    const char* name;
    std::string resource;
    std::string reasonPart;
};

class InstrumentOpenFailure : public InstrumentTest, public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(InstrumentOpenFailure, IsTypedAndCarriesTheReasonWithoutTheResourceInFront) {
    const auto& failureCase = GetParam();
    try {
        Instrument::open(failureCase.resource, shortTimeouts());
        FAIL() << "the open must fail";
    } catch (const transport::OpenFailure& failure) {
        EXPECT_EQ(failure.resource(), failureCase.resource);
        EXPECT_NE(failure.reason().find(failureCase.reasonPart), std::string::npos) << failure.reason();
        EXPECT_NE(failure.reason().rfind(failureCase.resource + ": ", 0), 0u) << failure.reason();
        EXPECT_NE(std::string(failure.what()).find(failure.reason()), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Instrument, InstrumentOpenFailure,
                         ::testing::Values(OpenFailureCase{"Malformed", "GPIB0::x::INSTR", "GPIB0::x::INSTR"},
                                           OpenFailureCase{"NothingListening", "TCPIP0::127.0.0.1::1::SOCKET",
                                                           "refused"}),
                         test_cases::byName);

TEST_F(InstrumentTest, IdentityWithoutAModelFieldIsAnOpenFailureQuotingTheReply) {
    AnsweringPeer peer([](const std::string& line) -> std::optional<std::string> {
        return line == "*IDN?" ? std::optional<std::string>("KORVANE MF-7\n") : std::nullopt;
    });
    auto options = shortTimeouts();
    options.reset = true;
    EXPECT_THROW(
        try { Instrument::open(peer.resource(), options); } catch (const transport::OpenFailure& failure) {
            EXPECT_NE(failure.reason().find("KORVANE MF-7"), std::string::npos) << failure.reason();
            throw;
        },
        transport::OpenFailure);
    EXPECT_EQ(peer.received(), (std::vector<std::string>{"*IDN?"})) << "no clear after a failed identity";
}

TEST_F(InstrumentTest, CommandsAndQueriesReturnWhatTheInstrumentSaid) {
    auto instrument = openQuietly();
    EXPECT_TRUE(instrument->command("DIG:PIN4:FUNC TOUT").ok());
    const auto refused = instrument->command("DIG:PIN2:FUNC FAUL");
    EXPECT_EQ(refused.error, "-221,\"Settings conflict\"");
    const auto answered = instrument->query("DIG:PIN4:FUNC?");
    EXPECT_EQ(answered.reply, "TOUT");
    EXPECT_EQ(received(), (std::vector<std::string>{"DIG:PIN4:FUNC TOUT", "SYST:ERR?", "DIG:PIN2:FUNC FAUL",
                                                    "SYST:ERR?", "DIG:PIN4:FUNC?"}));
}

// A query asked behind the error query comes back in the same reply; the entry ends at its first ';'
// outside a quoted string, wherever the instrument's words put one.
TEST_F(InstrumentTest, CommandWithAQueryBehindItSplitsTheEntryFromTheAnswer) {
    struct Case {
        const char* reply;
        std::optional<std::string> error;
        std::optional<std::string> answer;
    };
    const Case cases[] = {
        {"+0,\"No error\";TOUT", std::nullopt, "TOUT"},
        {"-221,\"Settings conflict\";ONC;POS", "-221,\"Settings conflict\"", "ONC;POS"},
        {"-100,\"a;b \"\"c;d\"\" e\";TOUT", "-100,\"a;b \"\"c;d\"\" e\"", "TOUT"},
        {"+0,\"No error\";", std::nullopt, ""},
        {"+0,\"No error\"", std::nullopt, std::nullopt},
        {"-113,\"Undefined header;\"", "-113,\"Undefined header;\"", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        AnsweringPeer peer([&](const std::string& line) -> std::optional<std::string> {
            if (line == "*IDN?")
                return "Korvane,MF-7,X,1\n";
            if (line == "SYST:ERR?;:DIG:PIN4:FUNC?")
                return std::string(c.reply) + "\n";
            return std::nullopt;
        });
        const auto instrument = Instrument::open(peer.resource(), shortTimeouts());
        const auto outcome = instrument->command("DIG:PIN4:FUNC TOUT", "DIG:PIN4:FUNC?");
        EXPECT_EQ(outcome.error, c.error);
        EXPECT_EQ(outcome.answer, c.answer);
        EXPECT_EQ(peer.received(),
                  (std::vector<std::string>{"*IDN?", "DIG:PIN4:FUNC TOUT", "SYST:ERR?;:DIG:PIN4:FUNC?"}));
    }
}

TEST_F(InstrumentTest, FailedQueryReturnsTheErrorQueueItRead) {
    AnsweringPeer peer([errors = 0](const std::string& line) mutable -> std::optional<std::string> {
        if (line == "*IDN?")
            return "Korvane,MF-7,X,1\n";
        if (line != "SYST:ERR?")
            return std::nullopt; // the query is refused and never answered
        switch (++errors) {
        case 1:
            return "-113,\"Undefined header\"\n";
        case 2:
            return "-114,\"Header suffix out of range\"\n";
        default:
            return "+0,\"No error\"\n";
        }
    });
    const auto instrument = Instrument::open(peer.resource(), shortTimeouts());
    const auto outcome = instrument->query("DIG:PIN9:FUNC?");
    EXPECT_FALSE(outcome.ok());
    // One query per entry: an instrument that keeps only the latest reply still answers each.
    EXPECT_EQ(outcome.readout.errors,
              (std::vector<std::string>{"-113,\"Undefined header\"", "-114,\"Header suffix out of range\""}));
    EXPECT_FALSE(outcome.readout.truncated);
    EXPECT_EQ(peer.received(),
              (std::vector<std::string>{"*IDN?", "DIG:PIN9:FUNC?", "SYST:ERR?", "SYST:ERR?", "SYST:ERR?"}));
}

TEST_F(InstrumentTest, LosingTheInstrumentIsTypedAndSaysItStoppedAnswering) {
    auto instrument = openQuietly();
    mainframe().faults().inject(sim::Fault::StopAnswering);
    for (const auto& exchange : std::vector<std::function<void()>>{
             [&] { instrument->command("DIG:PIN1:POL POS"); },
             [&] { instrument->query("DIG:PIN1:POL?"); },
         }) {
        try {
            exchange();
            FAIL() << "a silent instrument must be reported as lost";
        } catch (const transport::InstrumentLost& lost) {
            EXPECT_EQ(lost.resource(), kSim);
            EXPECT_EQ(lost.reason().rfind("the instrument stopped answering (", 0), 0u) << lost.reason();
            EXPECT_NE(lost.reason().find("200 ms"), std::string::npos) << "its own I/O time-out";
        }
    }
}

TEST_F(InstrumentTest, ExchangesAfterCloseAreALoss) {
    auto instrument = openQuietly();
    instrument->close();
    EXPECT_THROW(instrument->command("*CLS"), transport::InstrumentLost);
    EXPECT_TRUE(received().empty());
}

TEST_F(InstrumentTest, InstrumentsOnTwoThreadsKeepTheirOwnTimeouts) {
    // A silent peer with a long time-out on one thread must not lend its time-out to the other.
    AnsweringPeer silent([](const std::string& line) -> std::optional<std::string> {
        return line == "*IDN?" ? std::optional<std::string>("Korvane,MF-7,X,1\n") : std::nullopt;
    });
    auto slowOptions = shortTimeouts();
    slowOptions.timeouts.io = std::chrono::milliseconds(700);
    const auto slow = Instrument::open(silent.resource(), slowOptions);
    std::string slowReason;
    std::thread other([&] {
        try {
            slow->command("*CLS");
        } catch (const transport::InstrumentLost& lost) {
            slowReason = lost.reason();
        }
    });
    auto fast = openQuietly();
    mainframe().faults().inject(sim::Fault::StopAnswering);
    try {
        fast->command("*CLS");
        ADD_FAILURE() << "the silent simulator must be reported as lost";
    } catch (const transport::InstrumentLost& lost) {
        EXPECT_NE(lost.reason().find("200 ms"), std::string::npos) << lost.reason();
    }
    other.join();
    EXPECT_NE(slowReason.find("700 ms"), std::string::npos) << slowReason;
}

} // namespace
