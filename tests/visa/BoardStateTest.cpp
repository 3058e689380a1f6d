// The built-in boards' owners, and the settings a board keeps between programs: each owner's boards are
// its own, owners that share a state directory (two pinwright-cli calls) share the settings, whole, even
// when they change them at once, and whatever lies in the directory is taken only when it is a state the
// port can be in.
#include "simbackend/BoardStateFile.h"
#include "simbackend/BoardStateText.h"
#include "simbackend/SimBoards.h"
#include "simbackend/SimSession.h"
#include "tests/support/CaseTable.h"
#include "tests/support/VisaFailure.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A state directory of one test's own, removed after it.
class StateDirectory {
public:
    StateDirectory() {
        std::string made = (fs::temp_directory_path() / "pinwright-board-state-XXXXXX").string();
        if (::mkdtemp(made.data()) == nullptr)
            throw std::runtime_error("cannot make a temporary directory");
        path_ = made;
    }
    ~StateDirectory() {
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, ignored);
        fs::remove_all(path_, ignored);
    }
    StateDirectory(const StateDirectory&) = delete;
    StateDirectory& operator=(const StateDirectory&) = delete;

    const fs::path& path() const { return path_; }
    fs::path file(unsigned board) const { return path_ / ("board" + std::to_string(board) + ".state"); }

private:
    fs::path path_;
};

// One pinwright-cli call's worth: an owner of its own over the shared directory, and a session of a board.
struct Call {
    Call(const fs::path& directory, unsigned board = 0)
        : boards(directory),
          session(simbackend::SimSession::open(
              visa::ResourceName::parse("SIM" + std::to_string(board) + "::INSTR"), boards)) {}

    std::string ask(const std::string& query) {
        session->write(query);
        return session->read();
    }

    simbackend::SimBoards boards;
    std::unique_ptr<simbackend::SimSession> session;
};

TEST(SimBoards, EachOwnerHasBoardsOfItsOwn) {
    simbackend::SimBoards first;
    simbackend::SimBoards second;
    first.board(3).receive("DIG:OUTP:DATA 9");
    EXPECT_EQ(first.board(3).state().outputWord, 9);
    EXPECT_EQ(second.board(3).state().outputWord, 0);
    EXPECT_FALSE(first.stateFile(3)) << "an owner without a directory keeps nothing between programs";
}

TEST(SimBoards, ABoardOutlivesItsOwnerWhileASessionUsesIt) {
    auto boards = std::make_unique<simbackend::SimBoards>();
    auto session = simbackend::SimSession::open(visa::ResourceName::parse("SIM1::INSTR"), *boards);
    boards.reset();
    session->write("*IDN?");
    EXPECT_EQ(session->read(), "Korvane,MF-7,SIM0002,1.0\n");
}

TEST(BoardStateFile, ASecondCallFindsWhatTheFirstLeft) {
    const StateDirectory directory;
    Call(directory.path()).session->write("DIG:PIN5:FUNC ONC;:DIG:OUTP:DATA 3;:OUTP:INH:MODE LATC");
    Call second(directory.path());
    EXPECT_EQ(second.ask("DIG:PIN5:FUNC?;:DIG:OUTP:DATA?;:OUTP:INH:MODE?"), "ONC;+3;LATC\n");
    EXPECT_EQ(Call(directory.path(), 1).ask("DIG:PIN5:FUNC?"), "DIO\n") << "each board has its own file";
}

TEST(BoardStateFile, ACallSeesAChangeAnotherMadeWhileItWasOpen) {
    const StateDirectory directory;
    Call first(directory.path());
    Call second(directory.path());
    EXPECT_EQ(first.ask("DIG:OUTP:DATA?"), "+0\n");
    second.session->write("DIG:OUTP:DATA 77");
    EXPECT_EQ(first.ask("DIG:OUTP:DATA?"), "+77\n");
}

TEST(BoardStateFile, TwoCallsChangingAtOnceLoseNoChange) {
    const StateDirectory directory;
    constexpr int kRounds = 150;
    const auto toggle = [&](int pin) {
        Call call(directory.path());
        for (int round = 0; round < kRounds; ++round)
            call.session->write("DIG:PIN" + std::to_string(pin) + ":POL " + (round % 2 == 0 ? "POS" : "NEG"));
    };
    {
        std::jthread first(toggle, 1);
        std::jthread second(toggle, 2);
    }
    // Each call's last message set its pin negative; a save from a state loaded before it would undo it.
    EXPECT_EQ(Call(directory.path()).ask("DIG:PIN1:POL?;:DIG:PIN2:POL?"), "NEG;NEG\n");
}

TEST(BoardStateFile, ForgettingPutsEveryBoardBackToPowerOn) {
    const StateDirectory directory;
    Call(directory.path(), 0).session->write("DIG:OUTP:DATA 5");
    Call(directory.path(), 4).session->write("DIG:PIN4:FUNC OFFC");
    Call(directory.path(), 2).ask("*IDN?"); // only read: nothing to keep
    EXPECT_EQ(simbackend::forgetBoards(directory.path()), 2u);
    EXPECT_EQ(Call(directory.path(), 0).ask("DIG:OUTP:DATA?"), "+0\n");
    EXPECT_EQ(Call(directory.path(), 4).ask("DIG:PIN4:FUNC?"), "DIO\n");
    EXPECT_EQ(simbackend::forgetBoards(directory.path() / "never-made"), 0u);
}

TEST(BoardStateFile, ADirectoryOthersCanWriteToIsRefusedAndNothingIsWritten) {
    const StateDirectory directory;
    fs::permissions(directory.path(), fs::perms::others_write, fs::perm_options::add);
    Call call(directory.path());
    const auto error = FailureOf([&] { call.session->write("DIG:OUTP:DATA 5"); });
    EXPECT_NE(std::string(error.what())
                  .find("SIM0::INSTR: cannot keep the built-in mainframe's settings: " +
                        directory.path().string() + ": not a directory of this user's"),
              std::string::npos)
        << error.what();
    EXPECT_FALSE(fs::exists(directory.file(0)));
}

// What may lie where a board's state is kept: anything, put there by anyone.
struct Planted {
    const char* label;
    std::function<void(const fs::path& file)> plant;
};

class PlantedStateFiles : public test_cases::Table<Planted, &Planted::label> {};

TEST_P(PlantedStateFiles, AreIgnoredAndReplacedByTheNextChange) {
    const StateDirectory directory;
    GetParam().plant(directory.file(0));
    Call call(directory.path());
    EXPECT_EQ(call.ask("DIG:PIN1:FUNC?;:DIG:OUTP:DATA?"), "DIO;+0\n") << "the board starts from power-on";
    call.session->write("DIG:OUTP:DATA 6");
    EXPECT_EQ(Call(directory.path()).ask("DIG:OUTP:DATA?"), "+6\n");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(directory.file(0))));
}

std::function<void(const fs::path&)> writing(std::string text) {
    return [text](const fs::path& file) {
        std::ofstream(file, std::ios::binary) << text;
    };
}

const std::string kSaved = simbackend::boardStateText([] {
    sim::Mainframe mainframe;
    mainframe.receive("DIG:PIN1:FUNC FAUL;:DIG:OUTP:DATA 99");
    return mainframe.state();
}());

INSTANTIATE_TEST_SUITE_P(
    BoardStateFile, PlantedStateFiles,
    ::testing::Values(
        Planted{"empty", writing("")}, Planted{"binary", writing(std::string("\0\xff\x01pinwright\n", 13))},
        Planted{"another format", writing("pinwright built-in board state 2\n" + kSaved.substr(kSaved.find('\n') + 1))},
        Planted{"a function its pin lacks", writing(std::string(kSaved).replace(kSaved.find("FAUL"), 4, "INH"))},
        Planted{"an output word out of range", writing(std::string(kSaved).replace(kSaved.find("99"), 2, "128"))},
        Planted{"a word the port does not know", writing(std::string(kSaved).replace(kSaved.find("FAUL"), 4, "XYZ"))},
        Planted{"a line too many", writing(kSaved + "extra 1\n")},
        Planted{"no final line feed", writing(kSaved.substr(0, kSaved.size() - 1))},
        Planted{"too large", writing(kSaved + std::string(2 << 20, '#'))},
        Planted{"a link to a state elsewhere",
                [](const fs::path& file) {
                    const fs::path elsewhere = file.parent_path() / "elsewhere";
                    std::ofstream(elsewhere) << kSaved;
                    fs::create_symlink(elsewhere, file);
                }},
        Planted{"a pipe", [](const fs::path& file) { ::mkfifo(file.c_str(), 0600); }}));

TEST(BoardStateText, ReadsBackWhatItWrites) {
    const auto state = simbackend::boardStateFromText(kSaved);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->pinFunction[1], "FAUL");
    EXPECT_EQ(state->outputWord, 99);
    EXPECT_EQ(simbackend::boardStateText(*state), kSaved);
}

} // namespace
