// The shared LAN codec: XDR, record marking, RPC messages, VXI-11 structs and HiSLIP framing. The
// byte layouts below are written out by hand from the protocol tables, so that the codec is checked
// against the wire format rather than against itself.

#include "protocol/DecodeError.h"
#include "protocol/HislipMessage.h"
#include "protocol/RecordMarking.h"
#include "protocol/RpcMessage.h"
#include "protocol/Vxi11Messages.h"
#include "protocol/Xdr.h"

#include <gtest/gtest.h>
#include <string>

using namespace protocol;
using namespace std::string_literals;

namespace {

std::string be32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

TEST(LanXdr, OpaqueIsLengthPrefixedAndPaddedToFourBytes) {
    XdrWriter out;
    out.putOpaque("*IDN?");
    EXPECT_EQ(out.bytes(), be32(5) + "*IDN?" + "\0\0\0"s);

    XdrReader in(out.bytes());
    EXPECT_EQ(in.getOpaque(16), "*IDN?");
    EXPECT_EQ(in.remaining(), 0u);
}

TEST(LanXdr, ReaderRefusesWhatThePeerCannotBackUp) {
    struct Case {
        const char* name;
        std::string bytes;
        std::size_t limit;
    };
    const Case cases[] = {
        {"length beyond the limit", be32(1000) + std::string(1000, 'x'), 999},
        {"length beyond the data", be32(64) + "abcd", 1u << 20},
        {"huge claimed length", be32(0xFFFFFFFFu), 1u << 20},
        {"missing padding", be32(3) + "abc", 16},
        {"truncated length", "\0\0"s, 16},
    };
    for (const Case& c : cases) {
        XdrReader in(c.bytes);
        EXPECT_THROW(in.getOpaque(c.limit), DecodeError) << c.name;
    }
    const std::string two = be32(2);
    XdrReader notABool(two);
    EXPECT_THROW(notABool.getBool(), DecodeError);
}

TEST(LanRecordMarking, SplitsIntoFragmentsAndFlagsTheLast) {
    EXPECT_EQ(encodeRecord("abcdef", 4), be32(4) + "abcd" + be32(0x80000002u) + "ef");
    EXPECT_EQ(encodeRecord(""), be32(0x80000000u));
}

TEST(LanRecordMarking, ReassemblesRecordsSplitAnywhere) {
    const std::string stream = encodeRecord("first record", 5) + encodeRecord("second", 100);
    // Every split point, the marks included, must give the same two records.
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        RecordAssembler assembler(1024);
        assembler.feed(std::string_view(stream).substr(0, cut));
        assembler.feed(std::string_view(stream).substr(cut));
        EXPECT_EQ(assembler.nextRecord(), "first record") << "cut at " << cut;
        EXPECT_EQ(assembler.nextRecord(), "second") << "cut at " << cut;
        EXPECT_FALSE(assembler.nextRecord());
    }
    // Byte by byte, nothing appears before the last byte of a record.
    RecordAssembler slow(1024);
    const std::string one = encodeRecord("xyz", 1);
    for (std::size_t i = 0; i + 1 < one.size(); ++i) {
        slow.feed(one.substr(i, 1));
        EXPECT_FALSE(slow.nextRecord());
    }
    slow.feed(one.substr(one.size() - 1));
    EXPECT_EQ(slow.nextRecord(), "xyz");
}

TEST(LanRecordMarking, RefusesRecordsBeyondTheLimitEvenAcrossFragments) {
    RecordAssembler single(16);
    EXPECT_THROW(single.feed(be32(0x80000000u | 17)), DecodeError);

    // Fragments that are small one by one but add up beyond the limit.
    RecordAssembler many(16);
    many.feed(be32(10) + std::string(10, 'a'));
    EXPECT_THROW(many.feed(be32(0x80000007u)), DecodeError);

    // A claim of 2 GiB is refused from its mark alone, before any payload arrives.
    RecordAssembler huge(1u << 20);
    EXPECT_THROW(huge.feed(be32(0xFFFFFFFFu)), DecodeError);
}

TEST(LanRpcMessage, CallLayoutFollowsTheRpcVersion2Table) {
    const std::string bytes = encodeCall({0x1234, kPortmapProgram, 2, kPortmapProcGetPort, be32(7)});
    const std::string expected = be32(0x1234) + be32(0) /*CALL*/ + be32(2) + be32(100000) + be32(2) +
                                 be32(3) + be32(0) + be32(0) /*cred*/ + be32(0) + be32(0) /*verf*/ + be32(7);
    EXPECT_EQ(bytes, expected);
    const RpcCall back = decodeCall(bytes);
    EXPECT_EQ(back.xid, 0x1234u);
    EXPECT_EQ(back.procedure, 3u);
    EXPECT_EQ(back.arguments, be32(7));
}

TEST(LanRpcMessage, EveryReplyStatusSurvivesTheRoundTrip) {
    const RpcReplyStatus statuses[] = {
        RpcReplyStatus::Success,
        RpcReplyStatus::ProgramUnavailable,
        RpcReplyStatus::ProgramMismatch,
        RpcReplyStatus::ProcedureUnavailable,
        RpcReplyStatus::GarbageArguments,
        RpcReplyStatus::SystemError,
        RpcReplyStatus::RpcVersionMismatch,
        RpcReplyStatus::AuthError,
    };
    for (RpcReplyStatus status : statuses) {
        RpcReply reply{77, status, 1, 3, 5, status == RpcReplyStatus::Success ? be32(9) : ""};
        const RpcReply back = decodeReply(encodeReply(reply));
        EXPECT_EQ(back.xid, 77u);
        EXPECT_EQ(back.status, status);
        EXPECT_EQ(back.results, reply.results);
        EXPECT_FALSE(describe(back).empty());
    }
    RpcReply mismatch{1, RpcReplyStatus::ProgramMismatch, 1, 3, 0, ""};
    EXPECT_NE(describe(decodeReply(encodeReply(mismatch))).find("1 to 3"), std::string::npos);
}

TEST(LanRpcMessage, MalformedMessagesAreRefused) {
    const std::string reply = encodeReply({5, RpcReplyStatus::Success, 0, 0, 0, ""});
    const std::string call = encodeCall({5, 1, 1, 1, ""});
    EXPECT_THROW(decodeReply(call), DecodeError);                        // direction
    EXPECT_THROW(decodeCall(reply), DecodeError);                        // direction
    EXPECT_THROW(decodeReply(reply.substr(0, 10)), DecodeError);         // truncated
    EXPECT_THROW(decodeReply(be32(5) + be32(1) + be32(7)), DecodeError); // reply_stat 7
    EXPECT_THROW(decodeCall(be32(5) + be32(0) + be32(3)), DecodeError);  // RPC version 3
}

TEST(LanVxi11Messages, CreateLinkParmsLayout) {
    CreateLinkParms parms{42, false, 0, "gpib0,5"};
    EXPECT_EQ(parms.encode(), be32(42) + be32(0) + be32(0) + be32(7) + "gpib0,5" + "\0"s);
    EXPECT_EQ(CreateLinkParms::decode(parms.encode()).device, "gpib0,5");
}

TEST(LanVxi11Messages, ReadAndWriteStructsRoundTrip) {
    DeviceWriteParms write{3, 5000, 0, kFlagEnd, "DIG:PIN1:FUNC?"};
    const DeviceWriteParms w = DeviceWriteParms::decode(write.encode());
    EXPECT_EQ(w.flags, kFlagEnd);
    EXPECT_EQ(w.data, write.data);
    EXPECT_EQ(w.ioTimeout, 5000u);

    DeviceReadParms read{3, 1024, 5000, 0, kFlagTermCharSet, '\n'};
    EXPECT_EQ(read.encode().substr(20), be32('\n')); // the term char travels as a full unit
    EXPECT_EQ(DeviceReadParms::decode(read.encode()).termChar, '\n');

    DeviceReadResp resp{0, kReasonEnd, "DIO\n"};
    const DeviceReadResp r = DeviceReadResp::decode(resp.encode());
    EXPECT_EQ(r.reason, kReasonEnd);
    EXPECT_EQ(r.data, "DIO\n");

    CreateLinkResp link{0, 9, 0, 4096};
    EXPECT_EQ(CreateLinkResp::decode(link.encode()).maxRecvSize, 4096u);
    EXPECT_THROW(CreateLinkResp::decode(link.encode() + be32(0)), DecodeError); // trailing junk
    EXPECT_THROW(decodePort(be32(70000)), DecodeError);
}

TEST(LanVxi11Messages, EveryErrorCodeHasPlainWords) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {kVxi11SyntaxError, "syntax error"},
        {kVxi11DeviceNotAccessible, "device not accessible"},
        {kVxi11InvalidLink, "invalid link"},
        {kVxi11ParameterError, "parameter error"},
        {kVxi11ChannelNotEstablished, "channel"},
        {kVxi11OperationNotSupported, "not supported"},
        {kVxi11OutOfResources, "out of resources"},
        {kVxi11DeviceLocked, "locked by another link"},
        {kVxi11NoLockHeld, "no lock held"},
        {kVxi11IoTimeout, "I/O timeout"},
        {kVxi11IoError, "I/O error"},
        {kVxi11InvalidAddress, "invalid address"},
        {kVxi11Abort, "aborted"},
        {kVxi11ChannelAlreadyEstablished, "already established"},
        {99, "VXI-11 error 99"},
    };
    for (const auto& [code, words] : cases) {
        EXPECT_NE(describeVxi11Error(code).find(words), std::string::npos) << code;
    }
}

TEST(LanHislipMessage, HeaderLayoutFollowsTheMessageTable) {
    // Initialize: version 1.0 in the upper half of the parameter, vendor "PW" in the lower half,
    // the sub-address as payload.
    const std::string bytes = encodeHislip(HislipType::Initialize, 0, 0x01005057u, "hislip0");
    EXPECT_EQ(bytes, "HS\x00\x00"s + be32(0x01005057u) + be32(0) + be32(7) + "hislip0");

    const HislipHeader header = decodeHislipHeader(bytes);
    EXPECT_EQ(header.type, 0);
    EXPECT_EQ(header.parameter, 0x01005057u);
    EXPECT_EQ(header.payloadLength, 7u);
    EXPECT_THROW(decodeHislipHeader("XS" + bytes.substr(2)), DecodeError);
    EXPECT_THROW(decodeHislipHeader(bytes.substr(0, 15)), DecodeError);
    EXPECT_EQ(decodeHislipSize(encodeHislipSize(1u << 20)), 1u << 20);
    EXPECT_THROW(decodeHislipSize("1234567"), DecodeError);
}

TEST(LanHislipMessage, AssemblerJoinsSplitMessagesAndRefusesOversizedOnes) {
    const std::string stream = encodeHislip(HislipType::Data, 0, 0xFFFFFF00u, "Korvane,") +
                               encodeHislip(HislipType::DataEnd, 0, 0xFFFFFF00u, "MF-7\n") +
                               encodeHislip(HislipType::AsyncStatusQuery, 1, 0, "");
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        HislipAssembler assembler(64);
        assembler.feed(std::string_view(stream).substr(0, cut));
        assembler.feed(std::string_view(stream).substr(cut));
        auto first = assembler.next();
        auto second = assembler.next();
        auto third = assembler.next();
        ASSERT_TRUE(first && second && third) << "cut at " << cut;
        EXPECT_EQ(first->payload + second->payload, "Korvane,MF-7\n");
        EXPECT_EQ(second->type(), HislipType::DataEnd);
        EXPECT_EQ(third->header.control, 1);
        EXPECT_FALSE(assembler.next());
    }
    HislipAssembler small(4);
    EXPECT_THROW(small.feed(encodeHislip(HislipType::Data, 0, 0, "12345")), DecodeError);
    // A header that claims 2^64-1 bytes is refused from the header alone.
    HislipAssembler huge(1u << 20);
    EXPECT_THROW(huge.feed("HS\x06\x00"s + be32(0) + "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"s), DecodeError);
}

} // namespace
