#include "protocol/Xdr.h"

#include "protocol/ByteOrder.h"
#include "protocol/DecodeError.h"

namespace protocol {

namespace {
std::size_t paddingFor(std::size_t length) {
    return (4 - length % 4) % 4;
}
} // namespace

void XdrWriter::putUint32(std::uint32_t value) {
    appendBigEndian32(out_, value);
}

void XdrWriter::putOpaque(std::string_view data) {
    putUint32(static_cast<std::uint32_t>(data.size()));
    out_.append(data);
    out_.append(paddingFor(data.size()), '\0');
}

void XdrReader::need(std::size_t count, const char* what) const {
    if (count > remaining()) {
        throw DecodeError(std::string("truncated XDR data (") + what + ")");
    }
}

std::uint32_t XdrReader::getUint32() {
    need(4, "integer");
    const std::uint32_t value = readBigEndian32(data_.substr(position_));
    position_ += 4;
    return value;
}

bool XdrReader::getBool() {
    const std::uint32_t value = getUint32();
    if (value > 1) {
        throw DecodeError("XDR boolean is neither 0 nor 1");
    }
    return value == 1;
}

std::string XdrReader::getOpaque(std::size_t maxLength) {
    const std::uint32_t length = getUint32();
    if (length > maxLength) {
        throw DecodeError("XDR item of " + std::to_string(length) + " bytes exceeds the limit of " +
                          std::to_string(maxLength));
    }
    const std::size_t padded = std::size_t{length} + paddingFor(length);
    need(padded, "opaque data");
    std::string value(data_.substr(position_, length));
    position_ += padded;
    return value;
}

std::string XdrReader::takeRest() {
    std::string value(rest());
    position_ = data_.size();
    return value;
}

void XdrReader::expectEnd() const {
    if (remaining() != 0) {
        throw DecodeError("unexpected " + std::to_string(remaining()) + " bytes after the XDR data");
    }
}

} // namespace protocol
