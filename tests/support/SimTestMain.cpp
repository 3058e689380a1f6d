// main() for tests that open SIM[board]::INSTR sessions: the program registers the simulator's backend at
// start, and so do these tests.

#include "simbackend/SimBackend.h"

#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    ::testing::InitGoogleTest(&argc, argv);
    simbackend::registerSimBackend();
    return RUN_ALL_TESTS();
}
