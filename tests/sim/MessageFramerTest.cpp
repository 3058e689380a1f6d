#include "sim/MessageFramer.h"

#include "tests/support/CaseTable.h"

#include <gtest/gtest.h>
#include <vector>

namespace sim {
namespace {

constexpr std::size_t kLimit = 8;

// Feeds the chunks in order and lists what comes out; "<too long>" marks a refused message.
std::vector<std::string> frame(const std::vector<std::string>& chunks) {
    MessageFramer framer(kLimit);
    std::vector<std::string> out;
    for (const auto& chunk : chunks) {
        framer.append(chunk);
        while (const auto message = framer.next()) {
            out.push_back(message->tooLong ? "<too long>" : message->text);
        }
        EXPECT_LE(framer.buffered(), kLimit + 1 + chunk.size());
    }
    return out;
}

struct FramingCase {
    const char* name;
    std::vector<std::string> chunks;
    std::vector<std::string> messages;
};

class Framing : public ::testing::TestWithParam<FramingCase> {};

TEST_P(Framing, CutsAtLineFeeds) {
    EXPECT_EQ(frame(GetParam().chunks), GetParam().messages);
}

INSTANTIATE_TEST_SUITE_P(
    MessageFramer, Framing,
    ::testing::Values(
        FramingCase{"one", {"*IDN?\n"}, {"*IDN?"}}, FramingCase{"crlf", {"*IDN?\r\n"}, {"*IDN?"}},
        FramingCase{"onlyTheLastCr", {"a\r\r\n"}, {"a\r"}},
        FramingCase{"split", {"*ID", "N?", "\n"}, {"*IDN?"}},
        FramingCase{"crAndLfApart", {"*IDN?\r", "\n"}, {"*IDN?"}},
        FramingCase{"twoInOne", {"a\nb\n"}, {"a", "b"}}, FramingCase{"empty", {"\n\r\n"}, {"", ""}},
        FramingCase{"incompleteHeld", {"a\nb"}, {"a"}},
        FramingCase{"exactlyTheLimit", {"12345678\r\n"}, {"12345678"}},
        FramingCase{"oneOverWithLf", {"123456789\nok\n"}, {"<too long>", "ok"}},
        FramingCase{"floodWithoutLf", {"1234567890", "1234567890", "1234567890\nok\n"}, {"<too long>", "ok"}},
        FramingCase{"floodEndsInSameChunk", {"1234567890", "\nok\n"}, {"<too long>", "ok"}},
        FramingCase{"limitPlusCrWaitingForLf", {"12345678\r", "\n"}, {"12345678"}}),
    test_cases::byName);

TEST(MessageFramer, ManySmallMessagesInOneChunkAllComeOut) {
    std::string chunk;
    for (int i = 0; i < 5000; ++i) {
        chunk += std::to_string(i % 10) + "\n";
    }
    const auto messages = frame({chunk, chunk});
    ASSERT_EQ(messages.size(), 10000u);
    EXPECT_EQ(messages[4321], "1");
}

} // namespace
} // namespace sim
