#pragma once

// XDR (RFC 4506) as ONC RPC and VXI-11 use it: 32-bit big-endian units, variable-length opaque data
// and strings padded to a multiple of four.
//
// A message lists its fields once, as a call `visit(field, field, ...)`, and the same list serves both
// directions: XdrWriter and XdrReader are both such visitors. An integer field travels as one unit
// (a narrower one, like a char or a port number, keeps its low bits on the way in); any other field is
// an object that knows how to write and read itself (`writeTo(XdrWriter&)`, `readFrom(XdrReader&)`), as
// Bounded and Rest below do.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace protocol {

class XdrWriter {
public:
    void putUint32(std::uint32_t value);
    void putBool(bool value) { putUint32(value ? 1u : 0u); }
    void putOpaque(std::string_view data); // length, bytes, padding
    void putRaw(std::string_view alreadyEncoded) { out_.append(alreadyEncoded); }

    // Writes each field in order.
    template <typename... Fields> void operator()(const Fields&... fields) { (put(fields), ...); }

    const std::string& bytes() const { return out_; }
    std::string take() { return std::move(out_); }

private:
    template <typename Field> void put(const Field& field) {
        if constexpr (std::is_same_v<Field, bool>) {
            putBool(field);
        } else if constexpr (std::integral<Field>) {
            static_assert(sizeof(Field) <= 4, "no XDR hyper integer is used here");
            putUint32(static_cast<std::make_unsigned_t<Field>>(field));
        } else {
            field.writeTo(*this);
        }
    }

    std::string out_;
};

// Reads from a buffer it does not own. Every read checks the bytes left; a variable-length item is
// also checked against the caller's limit before anything is allocated, whatever the peer claims.
class XdrReader {
public:
    explicit XdrReader(std::string_view data) : data_(data) {}

    std::uint32_t getUint32();
    bool getBool();
    std::string getOpaque(std::size_t maxLength);

    // Reads each field in order.
    template <typename... Fields> void operator()(Fields&&... fields) {
        (take(std::forward<Fields>(fields)), ...);
    }

    std::size_t remaining() const { return data_.size() - position_; }
    std::string_view rest() const { return data_.substr(position_); }
    std::string takeRest();
    // Decoders of fixed layouts call this so that trailing junk is noticed.
    void expectEnd() const;

private:
    void need(std::size_t count, const char* what) const;
    template <typename Field> void take(Field& field) {
        if constexpr (std::is_same_v<Field, bool>) {
            field = getBool();
        } else if constexpr (std::integral<Field>) {
            static_assert(sizeof(Field) <= 4, "no XDR hyper integer is used here");
            field = static_cast<Field>(getUint32());
        } else {
            field.readFrom(*this);
        }
    }
    template <typename Field> void take(const Field& field) { field.readFrom(*this); }

    std::string_view data_;
    std::size_t position_ = 0;
};

// Variable-length opaque data or a string, with the longest a decoder accepts.
template <typename Text> struct Bounded {
    Text& bytes;
    std::size_t maxLength;
    void writeTo(XdrWriter& out) const { out.putOpaque(bytes); }
    void readFrom(XdrReader& in) const { bytes = in.getOpaque(maxLength); }
};
template <typename Text> Bounded<Text> bounded(Text& bytes, std::size_t maxLength) {
    return {bytes, maxLength};
}

// The rest of the record, XDR already (an RPC call's arguments, a reply's results).
template <typename Text> struct Rest {
    Text& bytes;
    void writeTo(XdrWriter& out) const { out.putRaw(bytes); }
    void readFrom(XdrReader& in) const { bytes = in.takeRest(); }
};
template <typename Text> Rest<Text> rest(Text& bytes) {
    return {bytes};
}

// A struct whose Layout lists its fields once, as `static void fields(auto& message, auto&& visit)`.
// Encoding and decoding both walk that list, so the two directions cannot drift apart; decoding
// refuses bytes left over, since they mean the peer and we disagree on the layout. Layout's members
// are initialised as an aggregate's: CreateLinkResp{error, linkId, abortPort, maxRecvSize}.
template <typename Layout> struct XdrStruct : Layout {
    std::string encode() const {
        XdrWriter out;
        Layout::fields(*this, out);
        return out.take();
    }
    static XdrStruct decode(std::string_view xdr) {
        XdrReader in(xdr);
        XdrStruct message;
        Layout::fields(message, in);
        in.expectEnd();
        return message;
    }
};

} // namespace protocol
