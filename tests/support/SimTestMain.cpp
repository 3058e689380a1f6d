// main() for tests that open SIM[board]::INSTR sessions: the program registers the simulator's backend at
// start, and so do these tests. A pinwright-cli these tests start keeps its built-in boards' settings in the
// user's state directory; here that is a directory of this run's own, gone at the end, so that no test
// reads or changes the real user's.

#include "simbackend/SimBackend.h"
#include "simbackend/SimBoards.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

int main(int argc, char* argv[]) {
    ::testing::InitGoogleTest(&argc, argv);
    std::string stateHome = (std::filesystem::temp_directory_path() / "pinwright-test-state-XXXXXX").string();
    if (::mkdtemp(stateHome.data()) == nullptr) {
        std::perror("cannot make a state directory for the tests");
        return 1;
    }
    ::setenv("XDG_STATE_HOME", stateHome.c_str(), 1);
    simbackend::registerSimBackend(std::make_shared<simbackend::SimBoards>());
    const int status = RUN_ALL_TESTS();
    std::filesystem::remove_all(stateHome);
    return status;
}
