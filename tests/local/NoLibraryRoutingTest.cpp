// With neither a VISA library nor linux-gpib installed (the test's library search path holds no fakes),
// local-bus resources fail with descriptions that say what the machine lacks.

#include "tests/support/CaseTable.h"
#include "tests/support/VisaFailure.h"
#include "visa/ResourceManager.h"
#include "visa/VisaError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using visa::VisaError;

struct RouteCase {
    const char* resource;
    VisaError::Kind kind;
    std::vector<std::string> words;
};

class NoLibraryRoutingTest : public test_cases::Table<RouteCase, &RouteCase::resource> {};

TEST_P(NoLibraryRoutingTest, FailsWithADescriptionOfWhatIsMissing) {
    const auto& c = GetParam();
    ExpectFailureSays(FailureOf([&] { visa::ResourceManager().Open(c.resource, 2000ms); }), c.kind,
                      std::string(c.resource) + ": ", c.words);
}

INSTANTIATE_TEST_SUITE_P(
    Resources, NoLibraryRoutingTest,
    testing::Values(RouteCase{"GPIB0::5::INSTR",
                              VisaError::Kind::Unsupported,
                              {"VISA library", "linux-gpib", "libgpib.so.0", "SIM0::INSTR"}},
                    RouteCase{"ASRL1::INSTR", VisaError::Kind::Unsupported, {"VISA library", "SIM0::INSTR"}},
                    RouteCase{"USB0::0x1A2B::0x1234::PINWRIGHT-NO-SUCH-SERIAL::INSTR",
                              VisaError::Kind::NotFound,
                              {"serial number \"PINWRIGHT-NO-SUCH-SERIAL\"", "usbtmc"}}));

} // namespace
