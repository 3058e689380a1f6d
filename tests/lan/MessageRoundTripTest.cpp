// Every message type of the LAN codec, one table row each: a sample with no field at its default, the
// bytes it must become (written out by hand from the protocol tables), and what decoding those bytes,
// or a truncated or padded copy of them, must give. A field dropped from a layout, read in the wrong
// order or with the wrong width fails its row.

#include "protocol/DecodeError.h"
#include "protocol/HislipMessage.h"
#include "protocol/RpcMessage.h"
#include "protocol/Vxi11Messages.h"
#include "protocol/Xdr.h"
#include "tests/support/CaseTable.h"

#include <concepts>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace protocol;
using namespace std::string_literals;

namespace {

using Fields = std::vector<std::string>;

std::string be32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

// A layout's fields as text, collected through the same field list the codec walks.
struct FieldCollector {
    Fields values;
    template <typename... F> void operator()(const F&... fields) { (add(fields), ...); }
    template <std::integral T> void add(T value) { values.push_back(std::to_string(value)); }
    template <typename T> void add(const Bounded<T>& field) { values.emplace_back(field.bytes); }
};

template <typename Message> Fields fieldsOf(const Message& message) {
    FieldCollector collector;
    Message::fields(message, collector);
    return collector.values;
}

struct Case {
    std::string name;
    std::function<std::string()> encodeSample;
    std::function<Fields(std::string_view)> decodeFields;
    Fields sampleFields;
    Fields defaultFields;
    std::string wire;
    bool refusesTrailingBytes = true;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

template <typename Message> Case structCase(std::string name, const Message& sample, std::string wire) {
    return {std::move(name),
            [sample] { return sample.encode(); },
            [](std::string_view bytes) { return fieldsOf(Message::decode(bytes)); },
            fieldsOf(sample),
            fieldsOf(Message{}),
            std::move(wire)};
}

Fields callFields(const RpcCall& c) {
    return {std::to_string(c.xid), std::to_string(c.program), std::to_string(c.version),
            std::to_string(c.procedure), c.arguments};
}

Fields replyFields(const RpcReply& r) {
    return {std::to_string(r.xid),        std::to_string(static_cast<int>(r.status)),
            std::to_string(r.low),        std::to_string(r.high),
            std::to_string(r.authStatus), r.results};
}

Fields headerFields(const HislipHeader& h) {
    return {std::to_string(h.type), std::to_string(h.control), std::to_string(h.parameter),
            std::to_string(h.payloadLength)};
}

Case rpcCallCase() {
    const RpcCall sample{0x1234, kVxi11CoreProgram, 1, kDeviceLock, be32(7)};
    return {"RpcCall",
            [sample] { return encodeCall(sample); },
            [](std::string_view bytes) { return callFields(decodeCall(bytes)); },
            callFields(sample),
            callFields(RpcCall{}),
            be32(0x1234) + be32(0) + be32(2) + be32(0x0607AF) + be32(1) + be32(18) + be32(0) + be32(0) +
                be32(0) + be32(0) + be32(7),
            false};
}

// The reply statuses with a body: results, a version range, an authentication status.
Case rpcReplyCase(std::string name, const RpcReply& sample, std::string wire) {
    return {std::move(name),
            [sample] { return encodeReply(sample); },
            [](std::string_view bytes) { return replyFields(decodeReply(bytes)); },
            replyFields(sample),
            {},
            std::move(wire),
            false};
}

Case hislipHeaderCase() {
    const HislipHeader sample{static_cast<std::uint8_t>(HislipType::AsyncLock), 1, 0xFFFFFF04u, 3};
    return {"HislipHeader",
            [] { return encodeHislip(HislipType::AsyncLock, 1, 0xFFFFFF04u, "abc"); },
            [](std::string_view bytes) { return headerFields(decodeHislipHeader(bytes)); },
            headerFields(sample),
            headerFields(HislipHeader{}),
            "HS\x04\x01"s + be32(0xFFFFFF04u) + be32(0) + be32(3) + "abc",
            false};
}

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        structCase("PortmapMapping", PortmapMapping{kVxi11CoreProgram, 1, kIpProtoUdp, 1024},
                   be32(0x0607AF) + be32(1) + be32(17) + be32(1024)),
        structCase("CreateLinkParms", CreateLinkParms{42, true, 3000, "inst0"},
                   be32(42) + be32(1) + be32(3000) + be32(5) + "inst0\0\0\0"s),
        structCase("CreateLinkResp", CreateLinkResp{9, -2, 5025, 4096},
                   be32(9) + be32(0xFFFFFFFEu) + be32(5025) + be32(4096)),
        structCase("DeviceWriteParms", DeviceWriteParms{3, 5000, 1000, kFlagEnd, "*RST"},
                   be32(3) + be32(5000) + be32(1000) + be32(8) + be32(4) + "*RST"),
        structCase("DeviceWriteResp", DeviceWriteResp{17, 4}, be32(17) + be32(4)),
        structCase("DeviceReadParms", DeviceReadParms{3, 1024, 5000, 1000, kFlagTermCharSet, '\r'},
                   be32(3) + be32(1024) + be32(5000) + be32(1000) + be32(0x80) + be32('\r')),
        structCase("DeviceReadResp", DeviceReadResp{4, kReasonEnd, "DIO"},
                   be32(4) + be32(4) + be32(3) + "DIO\0"s),
        structCase("DeviceGenericParms", DeviceGenericParms{3, kFlagWaitLock, 1000, 2000},
                   be32(3) + be32(1) + be32(1000) + be32(2000)),
        structCase("DeviceLockParms", DeviceLockParms{3, kFlagWaitLock, 10000},
                   be32(3) + be32(1) + be32(10000)),
        structCase("DeviceReadStbResp", DeviceReadStbResp{8, 0x51}, be32(8) + be32(0x51)),
        rpcCallCase(),
        rpcReplyCase("RpcReplySuccess", {7, RpcReplyStatus::Success, 0, 0, 0, be32(9)},
                     be32(7) + be32(1) + be32(0) + be32(0) + be32(0) + be32(0) + be32(9)),
        rpcReplyCase("RpcReplyProgramMismatch", {7, RpcReplyStatus::ProgramMismatch, 1, 3, 0, ""},
                     be32(7) + be32(1) + be32(0) + be32(0) + be32(0) + be32(2) + be32(1) + be32(3)),
        rpcReplyCase("RpcReplyAuthError", {7, RpcReplyStatus::AuthError, 0, 0, 5, ""},
                     be32(7) + be32(1) + be32(1) + be32(1) + be32(5)),
        hislipHeaderCase(),
    };
    return all;
}

class MessageRoundTrip : public testing::TestWithParam<Case> {};

TEST_P(MessageRoundTrip, EncodesToTheWireLayout) {
    EXPECT_EQ(GetParam().encodeSample(), GetParam().wire);
}

TEST_P(MessageRoundTrip, DecodesTheWireLayoutBackToEveryField) {
    EXPECT_EQ(GetParam().decodeFields(GetParam().wire), GetParam().sampleFields);
}

// Otherwise a field the decoder skips would still match its default. (A reply has no defaults to
// compare with: which fields it carries depends on its status.)
TEST_P(MessageRoundTrip, SampleSetsEveryFieldAwayFromItsDefault) {
    const Case& c = GetParam();
    ASSERT_TRUE(c.defaultFields.empty() || c.defaultFields.size() == c.sampleFields.size());
    for (std::size_t i = 0; i < c.defaultFields.size(); ++i) {
        EXPECT_NE(c.sampleFields[i], c.defaultFields[i]) << "field " << i;
    }
}

TEST_P(MessageRoundTrip, RefusesTruncatedAndPaddedBytes) {
    const Case& c = GetParam();
    EXPECT_THROW(c.decodeFields(c.wire.substr(0, c.wire.size() / 2)), DecodeError);
    if (c.refusesTrailingBytes) {
        EXPECT_THROW(c.decodeFields(c.wire + be32(0)), DecodeError);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryMessageType, MessageRoundTrip, testing::ValuesIn(cases()), test_cases::byName);

TEST(MessageBounds, VariableLengthFieldsRefuseLengthsBeyondTheirLimit) {
    const std::string longName = be32(kMaxDeviceName + 1) + std::string(kMaxDeviceName + 4, 'x');
    EXPECT_THROW(CreateLinkParms::decode(be32(1) + be32(0) + be32(0) + longName), DecodeError);
    const std::string hugeData = be32(static_cast<std::uint32_t>(kMaxVxi11Data + 1));
    EXPECT_THROW(DeviceWriteParms::decode(be32(1) + be32(0) + be32(0) + be32(0) + hugeData), DecodeError);
    EXPECT_THROW(DeviceReadResp::decode(be32(0) + be32(0) + hugeData), DecodeError);
    // An RPC credential is at most 400 bytes, whatever the call claims.
    EXPECT_THROW(decodeCall(be32(1) + be32(0) + be32(2) + be32(1) + be32(1) + be32(1) + be32(0) + be32(401)),
                 DecodeError);
}

} // namespace
