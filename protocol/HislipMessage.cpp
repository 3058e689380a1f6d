#include "protocol/HislipMessage.h"

#include "protocol/ByteOrder.h"
#include "protocol/DecodeError.h"

#include <algorithm>
#include <concepts>

namespace protocol {

namespace {

// HiSLIP's fields are plain big-endian integers of their own widths, behind the "HS" prologue. Like
// the XDR codec's, each layout is one call `visit(field, ...)` that both of these visitors walk.
struct Prologue {};

class FieldWriter {
public:
    template <typename... Fields> void operator()(const Fields&... fields) { (put(fields), ...); }
    std::string take() { return std::move(out_); }

private:
    void put(Prologue) { out_ += "HS"; }
    template <std::unsigned_integral Field> void put(Field value) {
        for (int shift = 8 * (static_cast<int>(sizeof(Field)) - 1); shift >= 0; shift -= 8) {
            out_.push_back(static_cast<char>((value >> shift) & 0xFFu));
        }
    }

    std::string out_;
};

// Reads from the front of bytes, refusing a field that runs past them as a truncated `what`.
class FieldReader {
public:
    FieldReader(std::string_view bytes, const char* what) : bytes_(bytes), what_(what) {}
    template <typename... Fields> void operator()(Fields&&... fields) { (take(fields), ...); }
    std::size_t remaining() const { return bytes_.size(); }

private:
    std::string_view next(std::size_t count) {
        if (count > bytes_.size()) {
            throw DecodeError(std::string("truncated ") + what_);
        }
        const std::string_view field = bytes_.substr(0, count);
        bytes_.remove_prefix(count);
        return field;
    }
    void take(Prologue) {
        if (next(2) != "HS") {
            throw DecodeError(std::string(what_) + " does not start with \"HS\"");
        }
    }
    template <std::unsigned_integral Field> void take(Field& value) {
        value = 0;
        for (const char byte : next(sizeof(Field))) {
            value = static_cast<Field>((std::uint64_t{value} << 8) | static_cast<unsigned char>(byte));
        }
    }

    std::string_view bytes_;
    const char* what_;
};

void headerFields(auto& header, auto&& visit) {
    visit(Prologue{}, header.type, header.control, header.parameter, header.payloadLength);
}

// The plain words of a control code, from a table indexed by the code.
template <std::size_t N>
std::string describeCode(const std::string_view (&words)[N], std::uint8_t code, std::string_view unknown) {
    return code < N ? std::string(words[code]) : std::string(unknown) + " " + std::to_string(code);
}

constexpr std::string_view kFatalWords[] = {
    "unidentified fatal error",
    "poorly formed message header",
    "attempt to use the connection before both channels were established",
    "invalid initialization sequence",
    "the server refused the connection: too many clients",
};
constexpr std::string_view kErrorWords[] = {
    "unidentified error",        "unrecognized message type",
    "unrecognized control code", "unrecognized vendor-defined message",
    "message too large",
};

} // namespace

std::string encodeHislip(HislipType type, std::uint8_t control, std::uint32_t parameter,
                         std::string_view payload) {
    const HislipHeader header{static_cast<std::uint8_t>(type), control, parameter, payload.size()};
    FieldWriter out;
    headerFields(header, out);
    return out.take().append(payload);
}

HislipHeader decodeHislipHeader(std::string_view bytes) {
    FieldReader in(bytes, "HiSLIP header");
    HislipHeader header;
    headerFields(header, in);
    return header;
}

std::string encodeHislipSize(std::uint64_t size) {
    FieldWriter out;
    out(size);
    return out.take();
}

std::uint64_t decodeHislipSize(std::string_view payload) {
    FieldReader in(payload, "HiSLIP maximum message size");
    std::uint64_t size = 0;
    in(size);
    if (in.remaining() != 0) {
        throw DecodeError("HiSLIP maximum message size is longer than 8 bytes");
    }
    return size;
}

std::string describeHislipFatal(std::uint8_t code) {
    return describeCode(kFatalWords, code, "fatal error");
}

std::string describeHislipError(std::uint8_t code) {
    return describeCode(kErrorWords, code, "error");
}

void HislipAssembler::feed(std::string_view bytes) {
    while (!bytes.empty()) {
        if (!header_) {
            const std::size_t take = std::min(bytes.size(), kHislipHeaderSize - partial_.size());
            partial_.append(bytes.substr(0, take));
            bytes.remove_prefix(take);
            if (partial_.size() < kHislipHeaderSize) {
                return;
            }
            const HislipHeader header = decodeHislipHeader(partial_);
            if (header.payloadLength > maxPayload_) {
                throw DecodeError("HiSLIP message of " + std::to_string(header.payloadLength) +
                                  " bytes exceeds the limit of " + std::to_string(maxPayload_));
            }
            header_ = header;
            partial_.clear();
        }
        const std::size_t want = static_cast<std::size_t>(header_->payloadLength) - partial_.size();
        const std::size_t take = std::min(bytes.size(), want);
        partial_.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        if (partial_.size() == header_->payloadLength) {
            ready_.push_back(HislipMessage{*header_, std::move(partial_)});
            partial_.clear();
            header_.reset();
        }
    }
}

std::optional<HislipMessage> HislipAssembler::next() {
    if (ready_.empty()) {
        return std::nullopt;
    }
    HislipMessage message = std::move(ready_.front());
    ready_.pop_front();
    return message;
}

} // namespace protocol
