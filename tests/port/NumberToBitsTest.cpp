#include "port/ConversionError.h"
#include "port/KorvaneMF.h"
#include "tests/support/CaseTable.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::string Bits(const TextTable& table) {
    std::string digits; // element 1 first
    for (std::size_t k = 1; k <= table.size(); ++k)
        digits += table[k];
    return digits;
}

// The digits of the seven pins for a reply, pin 1 first.
std::string PinBitsFor(const std::string& reply) {
    TextTable bits;
    KorvaneMF::NumberToBits(reply, 7, bits);
    EXPECT_EQ(bits.size(), 7u) << reply;
    return Bits(bits);
}

struct Row {
    const char* reply;
    const char* bitsPin1First;
};

class NumberToBitsRows : public test_cases::Table<Row, &Row::reply> {};

TEST_P(NumberToBitsRows, GivesSevenDigitsPinOneFirst) {
    EXPECT_EQ(PinBitsFor(GetParam().reply), GetParam().bitsPin1First);
}

INSTANTIATE_TEST_SUITE_P(Replies, NumberToBitsRows,
                         ::testing::Values(Row{"5", "1010000"}, Row{"+5", "1010000"}, Row{" 5 ", "1010000"},
                                           Row{"-5", "1010000"},  // digits of the magnitude
                                           Row{"5.5", "0110000"}, // 6: half rounds to even
                                           Row{"4.5", "0010000"}, // 4: half rounds to even
                                           Row{"0", "0000000"}, Row{"127", "1111111"},
                                           Row{"128", "0000000"}, // bit 7 and above are dropped
                                           Row{"200", "0001001"}, // the digits of 72
                                           Row{"255", "1111111"}, Row{"32767", "1111111"},
                                           Row{"-32768", "0000000"}, Row{"+5.0E+00", "1010000"}));

class NumberToBitsRejects : public ::testing::TestWithParam<const char*> {};

TEST_P(NumberToBitsRejects, RaisesTheConversionErrorBeforeTouchingTheTable) {
    TextTable bits;
    bits.resize(3);
    bits[2] = "kept";
    try {
        KorvaneMF::NumberToBits(GetParam(), 7, bits);
        FAIL() << "no conversion error for \"" << GetParam() << "\"";
    } catch (const ConversionError& error) {
        EXPECT_EQ(error.text(), GetParam());
        EXPECT_EQ(std::string(error.what()), std::string("The power supply's reply \"") + GetParam() +
                                                 "\" is not a number between -32768 and 32767.");
    }
    EXPECT_EQ(bits.size(), 3u);
    EXPECT_EQ(bits[2], "kept");
}

INSTANTIATE_TEST_SUITE_P(Replies, NumberToBitsRejects,
                         ::testing::Values("40000", "32768", "-32769", "", "   ", "abc", "5a", "1.2.3", "+-5",
                                           ".", "99999999999999999999999"));

// An exponent longer than any fixed cap still shifts the point exactly: 0.(1200 zeros)5 E+1201 is 5.
TEST(NumberToBits, LongExponentFormStillShiftsThePointExactly) {
    EXPECT_EQ(PinBitsFor("0." + std::string(1200, '0') + "5E+1201"), "1010000");
    EXPECT_EQ(PinBitsFor("1" + std::string(1500, '0') + "E-1500"), "1000000");
}

TEST(NumberToBits, CountDecidesTheTableSize) {
    TextTable bits;
    bits.resize(10);
    KorvaneMF::NumberToBits("6", 3, bits);
    EXPECT_EQ(Bits(bits), "011");
    EXPECT_THROW(bits[4], std::out_of_range);
    EXPECT_THROW(bits[0], std::out_of_range);
}

} // namespace
