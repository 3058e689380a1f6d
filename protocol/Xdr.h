#pragma once

// XDR (RFC 4506) as ONC RPC and VXI-11 use it: 32-bit big-endian units, variable-length opaque data
// and strings padded to a multiple of four.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace protocol {

class XdrWriter {
public:
    void putUint32(std::uint32_t value);
    void putInt32(std::int32_t value) { putUint32(static_cast<std::uint32_t>(value)); }
    void putBool(bool value) { putUint32(value ? 1u : 0u); }
    void putOpaque(std::string_view data); // length, bytes, padding
    void putString(std::string_view text) { putOpaque(text); }
    void putRaw(std::string_view alreadyEncoded) { out_.append(alreadyEncoded); }

    const std::string& bytes() const { return out_; }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

// Reads from a buffer it does not own. Every read checks the bytes left; a variable-length item is
// also checked against the caller's limit before anything is allocated, whatever the peer claims.
class XdrReader {
public:
    explicit XdrReader(std::string_view data) : data_(data) {}

    std::uint32_t getUint32();
    std::int32_t getInt32() { return static_cast<std::int32_t>(getUint32()); }
    bool getBool();
    std::string getOpaque(std::size_t maxLength);
    std::string getString(std::size_t maxLength) { return getOpaque(maxLength); }

    std::size_t remaining() const { return data_.size() - position_; }
    std::string_view rest() const { return data_.substr(position_); }
    // Decoders of fixed layouts call this so that trailing junk is noticed.
    void expectEnd() const;

private:
    void need(std::size_t count, const char* what) const;

    std::string_view data_;
    std::size_t position_ = 0;
};

} // namespace protocol
