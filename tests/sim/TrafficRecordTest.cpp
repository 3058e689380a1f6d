// The traffic record keeps the newest entries within its bounds, however long the simulator runs.
#include "sim/TrafficRecord.h"

#include "sim/ClientSession.h"
#include "sim/Mainframe.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace sim {
namespace {

using Direction = TrafficRecord::Direction;

TEST(TrafficRecord, PushesOutTheOldestEntriesPastTheCountAndCountsThem) {
    TrafficRecord record(3, 1000);
    for (const char* text : {"a", "b", "c", "d", "e"}) {
        record.add(Direction::Received, text);
    }
    EXPECT_EQ(record.received(), (std::vector<std::string>{"c", "d", "e"}));
    EXPECT_EQ(record.dropped(), 2u);
    record.clear();
    EXPECT_TRUE(record.entries().empty());
    EXPECT_EQ(record.dropped(), 0u);
}

TEST(TrafficRecord, PushesOutTheOldestEntriesPastTheBytesAndCutsATextLongerThanAll) {
    TrafficRecord record(100, 10);
    record.add(Direction::Received, "1234");
    record.add(Direction::Sent, "5678\n");
    record.add(Direction::Received, "abcd"); // 13 bytes would be over: "1234" goes
    EXPECT_EQ(record.received(), std::vector<std::string>{"abcd"});
    EXPECT_EQ(record.sent(), std::vector<std::string>{"5678\n"});
    EXPECT_EQ(record.bytes(), 9u);
    record.add(Direction::Received, std::string(25, 'x'));
    EXPECT_EQ(record.received(), std::vector<std::string>{std::string(10, 'x')});
    EXPECT_EQ(record.dropped(), 3u);
}

TEST(TrafficRecord, StaysWithinItsDefaultBoundsUnderLongMessagesAndKeepsTheNewest) {
    Mainframe mainframe;
    const std::string filler(60 * 1000, ' ');
    for (int i = 0; i < 1000; ++i) {
        mainframe.receive("*OPC?" + filler + ";*OPC?");
        mainframe.session().takeReply();
    }
    mainframe.receive("*IDN?");
    const TrafficRecord& record = mainframe.traffic();
    EXPECT_LE(record.bytes(), TrafficRecord::kDefaultMaxBytes);
    EXPECT_LE(record.entries().size(), TrafficRecord::kDefaultMaxEntries);
    EXPECT_GT(record.dropped(), 1900u);
    EXPECT_EQ(record.received().back(), "*IDN?");
    EXPECT_EQ(record.sent().back(), "1;1\n");
}

} // namespace
} // namespace sim
